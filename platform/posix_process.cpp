// Linux: locating, starting and waiting for a program.
#include "platform/posix_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

#include "platform/posix_errors.h"
#include "platform/posix_platform.h"

extern char** environ;

namespace platform {

namespace {

constexpr uint32_t ErrorInvalidHandle = 6;
constexpr uint32_t WaitObject0 = 0;
constexpr uint32_t StillActive = 259;
// A program ended by signal N gets the exit code a shell would show.
constexpr uint32_t SignalExitBase = 128;
// Descriptors from this one up are the program's own, never the child's.
constexpr int FirstPrivateDescriptor = 3;

struct StartedProgram {
    pid_t Pid;
    bool Ended;
    uint32_t ExitCode;
};

// Open handles of started programs: the process handles with what is known
// of the program, and the thread handles.
std::map<Handle, StartedProgram> processes;
std::set<Handle> threads;
std::set<Handle> searches;
Handle nextSearchHandle = SearchHandleBase;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program name: everything up to the first blank outside double quotes,
// the quotes dropped; backslashes have no special meaning in it.
std::string TakeProgramName(std::string_view commandLine, size_t& pos) {
    std::string name;
    bool quoted = false;
    for (; pos < commandLine.size(); ++pos) {
        const char c = commandLine[pos];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && IsBlank(c)) {
            break;
        } else {
            name += c;
        }
    }
    return name;
}

// One argument after the program name, starting at a byte that is no blank.
std::string TakeArgument(std::string_view commandLine, size_t& pos) {
    std::string argument;
    bool quoted = false;
    while (pos < commandLine.size()) {
        size_t backslashes = 0;
        while (pos < commandLine.size() && commandLine[pos] == '\\') {
            ++backslashes;
            ++pos;
        }
        const bool atQuote = pos < commandLine.size() && commandLine[pos] == '"';
        bool keepQuote = false;
        if (atQuote) {
            keepQuote = backslashes % 2 == 1;
            // Inside a quoted part, "" stands for one literal quote.
            if (!keepQuote && quoted && pos + 1 < commandLine.size() &&
                commandLine[pos + 1] == '"') {
                keepQuote = true;
                ++pos;
            } else if (!keepQuote) {
                quoted = !quoted;
            }
            backslashes /= 2;
        }
        argument.append(backslashes, '\\');
        if (pos == commandLine.size() || (!quoted && IsBlank(commandLine[pos]))) break;
        if (!atQuote || keepQuote) argument += commandLine[pos];
        ++pos;
    }
    return argument;
}

size_t SkipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos;
}

uint32_t ExitCodeOf(int waitStatus) {
    if (WIFSIGNALED(waitStatus))
        return SignalExitBase + static_cast<uint32_t>(WTERMSIG(waitStatus));
    return static_cast<uint32_t>(WEXITSTATUS(waitStatus));
}

// Collects the program's end if it has come (or, without WNOHANG, once it
// comes); false when the system cannot tell.
bool CollectEnd(StartedProgram& program, int options) {
    int waitStatus = 0;
    pid_t result;
    do {
        result = waitpid(program.Pid, &waitStatus, options);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return false;
    }
    if (result == program.Pid) {
        program.Ended = true;
        program.ExitCode = ExitCodeOf(waitStatus);
    }
    return true;
}

StartedProgram* FindProgram(Handle process) {
    auto found = processes.find(process);
    if (found != processes.end()) return &found->second;
    SetLastError(ErrorInvalidHandle);
    return nullptr;
}

// posix_spawn of the program as a path, not looked up in PATH, with this
// process's environment and current directory; like a Windows program
// started without inherited handles, it gets none of this process's own
// descriptors, and no signal disposition or mask of it either. Gives 0 or
// the errno of the failure, exec failures included.
int Spawn(std::vector<std::string>& arguments, pid_t& pid) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, FirstPrivateDescriptor);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    const int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace

std::vector<std::string> SplitLikeWindowsCRuntime(std::string_view commandLine) {
    std::vector<std::string> arguments;
    size_t pos = SkipBlanks(commandLine, 0);
    if (pos == commandLine.size()) return arguments;
    arguments.push_back(TakeProgramName(commandLine, pos));
    while ((pos = SkipBlanks(commandLine, pos)) < commandLine.size()) {
        arguments.push_back(TakeArgument(commandLine, pos));
    }
    return arguments;
}

std::string QuoteForWindowsCRuntime(std::string_view argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;  // in a row, just before the current byte
    for (const char c : argument) {
        if (c == '"') {
            // 2n + 1 backslashes before a quote stand for n and the quote.
            quoted.append(backslashes + 1, '\\');
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        quoted += c;
    }
    // 2n backslashes before the closing quote stand for n.
    quoted.append(backslashes, '\\');
    return quoted + '"';
}

std::string PosixPlatform::QuotedArgument(std::string_view argument) {
    return QuoteForWindowsCRuntime(argument);
}

bool CloseProcessObject(Handle handle) {
    if (processes.erase(handle) == 0 && threads.erase(handle) == 0) {
        SetLastError(ErrorInvalidHandle);
        return false;
    }
    return true;
}

// Any kind of entry counts, a directory or a dangling link as well as a
// file, as a search for the name would find it.
Handle PosixPlatform::FindFirstFileA(const char* path) {
    if (HoldsControlCharacter(path)) {
        SetLastError(ErrorInvalidName);
        return InvalidHandle;
    }
    struct stat info;
    if (lstat(path, &info) != 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return InvalidHandle;
    }
    const Handle search = nextSearchHandle++;
    searches.insert(search);
    return search;
}

void PosixPlatform::FindClose(Handle search) {
    searches.erase(search);
}

bool PosixPlatform::CreateProcessA(const char* commandLine, ProcessInfo* started) {
    std::vector<std::string> arguments = SplitLikeWindowsCRuntime(commandLine);
    if (arguments.empty()) {
        SetLastError(ErrorFileNotFound);
        return false;
    }
    pid_t pid = 0;
    const int error = Spawn(arguments, pid);
    if (error != 0) {
        SetLastError(Win32ErrorFromErrno(error));
        return false;
    }
    started->Process = ProcessHandleBase + pid;
    started->Thread = ThreadHandleBase + pid;
    processes[started->Process] = {pid, false, 0};
    threads.insert(started->Thread);
    return true;
}

uint32_t PosixPlatform::WaitForSingleObject(Handle process) {
    StartedProgram* program = FindProgram(process);
    if (program == nullptr) return WaitFailed;
    if (!program->Ended && !CollectEnd(*program, 0)) return WaitFailed;
    return WaitObject0;
}

bool PosixPlatform::GetExitCodeProcess(Handle process, uint32_t* code) {
    StartedProgram* program = FindProgram(process);
    if (program == nullptr) return false;
    if (!program->Ended && !CollectEnd(*program, WNOHANG)) return false;
    *code = program->Ended ? program->ExitCode : StillActive;
    return true;
}

}  // namespace platform
