#include "tests/program/run_program.h"

#include <fcntl.h>
#include <spawn.h>
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

ProgramResult RunFormsplit(const std::vector<std::string>& arguments, const std::string& folder,
                           const std::vector<std::string>& environment, size_t memoryLimit) {
    std::string stderrPath = folder + "/.stderr";
    std::string peakPath = folder + "/.peak";
    // The program's peak memory as time(1) sees it: a process that the test
    // process starts directly is charged the test's own memory at the start.
    std::vector<std::string> argvStrings = {"/usr/bin/time", "-q", "-f", "%M", "-o", peakPath};
    if (memoryLimit != 0) {
        argvStrings.insert(argvStrings.end(), {"/usr/bin/prlimit", "--as=" + std::to_string(memoryLimit), "--"});
    }
    argvStrings.push_back(FORMSPLIT_BINARY);
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    // The test's own registry file unless the test names one: no test may
    // read the registry of the machine's user.
    // The first of two equal names is the one a program sees.
    std::vector<std::string> envStrings = environment;
    envStrings.push_back("FORMSPLIT_REGISTRY=" + folder + "/.no-registry.reg");
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("FORMSPLIT_", 0) != 0) envStrings.push_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start formsplit");
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    ProgramResult result;
    result.PeakBytes = std::strtoull(ReadFile(peakPath).c_str(), nullptr, 10) * 1024;
    fs::remove(peakPath);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.Stderr = ReadFile(stderrPath);
    fs::remove(stderrPath);
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
    return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n\"SetupPath\"=\"" + escaped + "\"\r\n";
}
