#include "tests/program/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Everything the started program needs, made before the fork: between fork
// and exec the child may only make system calls.
struct ChildStart {
    std::vector<std::string> ArgvStrings;
    std::vector<std::string> EnvStrings;
    std::vector<char*> Argv;
    std::vector<char*> Envp;
};

void PointAt(std::vector<std::string>& strings, std::vector<char*>& pointers) {
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
}

void Limit(int resource, size_t bytes) {
    if (bytes == 0) return;
    const rlimit limit{bytes, bytes};
    setrlimit(resource, &limit);
}

// The child's side: only calls that are safe after a fork, then the exec.
[[noreturn]] void StartChild(const ChildStart& start, const std::string& folder,
                             const std::string& stderrPath, int stderrPipe,
                             const RunOptions& options) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    const int stderrFile =
        stderrPipe >= 0 ? stderrPipe
                        : open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (stderrFile < 0 || dup2(stderrFile, STDERR_FILENO) < 0) _exit(126);
    Limit(RLIMIT_AS, options.MemoryLimit);
    Limit(RLIMIT_FSIZE, options.FileSizeLimit);
    if (options.ChildSignalIgnored) signal(SIGCHLD, SIG_IGN);
    alarm(options.TimeLimit);
    execve(start.Argv[0], start.Argv.data(), start.Envp.data());
    _exit(127);
}

}  // namespace

ProgramResult RunFormsplit(const std::vector<std::string>& arguments, const std::string& folder,
                           const RunOptions& options) {
    const std::string stderrPath = folder + "/.stderr";
    const std::string peakPath = folder + "/.peak";
    ChildStart start;
    if (options.MeasurePeak)
        start.ArgvStrings = {"/usr/bin/time", "-q", "-f", "%M", "-o", peakPath};
    start.ArgvStrings.push_back(FORMSPLIT_BINARY);
    start.ArgvStrings.insert(start.ArgvStrings.end(), arguments.begin(), arguments.end());
    // The test's own registry file unless the test names one: no test may
    // read the registry of the machine's user.
    // The first of two equal names is the one a program sees.
    start.EnvStrings = options.Environment;
    start.EnvStrings.push_back("FORMSPLIT_REGISTRY=" + folder + "/.no-registry.reg");
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("FORMSPLIT_", 0) != 0) start.EnvStrings.push_back(*e);
    }
    PointAt(start.ArgvStrings, start.Argv);
    PointAt(start.EnvStrings, start.Envp);

    int pipeEnds[2] = {-1, -1};
    if (options.StderrReaderGone) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
        close(pipeEnds[0]);
    }
    const pid_t pid = fork();
    if (pid == 0) StartChild(start, folder, stderrPath, pipeEnds[1], options);
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    if (pid < 0) throw std::runtime_error("cannot start formsplit");
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {}
    ProgramResult result;
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.Stderr = ReadFile(stderrPath);
    fs::remove(stderrPath);
    result.PeakBytes =
        options.MeasurePeak ? std::strtoull(ReadFile(peakPath).c_str(), nullptr, 10) * 1024 : 0;
    fs::remove(peakPath);
    return result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(".", 0) != 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RegistryFor(const std::string& setupFolder) {
    std::string escaped;
    for (char c : setupFolder) {
        if (c == '\\' || c == '"') escaped.push_back('\\');
        escaped.push_back(c);
    }
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n\"SetupPath\"=\"" + escaped +
           "\"\r\n";
}
