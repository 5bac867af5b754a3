// Linux: files, start-up, message boxes, processor faults and the end of
// the process.
#include "platform/posix_platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/posix_errors.h"

namespace platform {

namespace {

FaultHandler faultHandler = nullptr;

// Windows-1250 bytes 0x80 to 0xFF as Unicode; 0xFFFD where the code page
// leaves a byte undefined.
constexpr uint16_t Cp1250High[128] = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021, 0xFFFD, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

void Fail(int error) {
    SetLastError(Win32ErrorFromErrno(error));
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Writes Windows-1250 text to a descriptor as UTF-8, through a fixed
// buffer: a box may report that the heap is exhausted.
void WriteAsUtf8(int fd, const char* text) {
    char out[512];
    size_t used = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        uint16_t u = *p < 0x80 ? *p : Cp1250High[*p - 0x80];
        if (u < 0x80) {
            out[used++] = static_cast<char>(u);
        } else if (u < 0x800) {
            out[used++] = static_cast<char>(0xC0 | (u >> 6));
            out[used++] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out[used++] = static_cast<char>(0xE0 | (u >> 12));
            out[used++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out[used++] = static_cast<char>(0x80 | (u & 0x3F));
        }
        if (used > sizeof out - 3) {
            WriteAll(fd, out, used);
            used = 0;
        }
    }
    WriteAll(fd, out, used);
}

uint32_t FaultCode(int signal, int code) {
    switch (signal) {
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV: return 0xC0000094;
                case FPE_INTOVF: return 0xC0000095;
                case FPE_FLTDIV: return 0xC000008E;
                case FPE_FLTOVF: return 0xC0000091;
                case FPE_FLTUND: return 0xC0000093;
                default: return 0xC0000090;
            }
        case SIGILL: return code == ILL_PRVOPC ? 0xC0000096 : 0xC000001D;
        case SIGBUS: return 0xC0000006;
        default: return 0xC0000005;
    }
}

const void* FaultingInstruction(void* context) {
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(
        static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return reinterpret_cast<const void*>(
        static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EIP]);
#else
    (void)context;
    return nullptr;
#endif
}

constexpr int FaultSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS};

void OnFaultSignal(int signal, siginfo_t* info, void* context) {
    FaultHandler handler = faultHandler;
    if (handler != nullptr) {
        handler(FaultCode(signal, info->si_code),
                SystemPlatform().CodeAddress(FaultingInstruction(context)));
    }
    // Not one the program reports: let the system deal with it.
    ::signal(signal, SIG_DFL);
}

// A stack of its own for the fault handler, so that a stack overflow is
// reported too.
alignas(16) char faultStack[64 * 1024];

void InstallSignalHandlers() {
    stack_t stack{};
    stack.ss_sp = faultStack;
    stack.ss_size = sizeof faultStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = OnFaultSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signal : FaultSignals) sigaction(signal, &action, nullptr);
}

void RemoveSignalHandlers() {
    for (int signal : FaultSignals) ::signal(signal, SIG_DFL);
}

// A write to a pipe without a reader and a write past the file-size limit
// fail with an error, as a write does on Windows, instead of ending the
// process; the error is then reported like a full disk. A caller may have
// handed on SIGCHLD ignored, under which the system reaps the form program
// and its exit code is lost: it is set back to its default.
void SetStartupDispositions() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGCHLD, SIG_DFL);
}

// A descriptor that is open at start-up, or InvalidHandle, as GetStdHandle
// gives no handle for a stream a program was started without.
Handle StartupDescriptor(int fd) {
    return fcntl(fd, F_GETFD) == -1 ? InvalidHandle : fd;
}

struct StdHandles {
    Handle In = StartupDescriptor(STDIN_FILENO);
    Handle Out = StartupDescriptor(STDOUT_FILENO);
    Handle Err = StartupDescriptor(STDERR_FILENO);
};

const StdHandles& Standard() {
    static const StdHandles handles;
    return handles;
}

// The type of every descriptor this platform opened, so that asking for it
// again costs no system call. FileType::Unknown marks a descriptor not known.
constexpr int KnownDescriptorCount = 4096;
FileType knownTypes[KnownDescriptorCount];

bool IsKnownSlot(Handle file) {
    return file >= 0 && file < KnownDescriptorCount;
}

FileType TypeOfMode(mode_t mode) {
    if (S_ISCHR(mode)) return FileType::Char;
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FileType::Pipe;
    return FileType::Disk;
}

// Opens without blocking: a named pipe without its other end must not hang
// the run.
int OpenDescriptor(const char* name, OpenMode mode) {
    int flags = (mode == OpenMode::Read ? O_RDONLY : O_WRONLY | O_CREAT) | O_NONBLOCK | O_CLOEXEC;
    int fd;
    do {
        fd = open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A file for writing that the open itself creates is known to be a regular,
// empty file: it needs only the lock, not the questions of Prepare. Gives
// the descriptor, or -1 when the name exists or the open fails otherwise
// (the ordinary path then gives the answer).
int CreateNewFile(const char* name) {
    int fd;
    do {
        fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    if (IsKnownSlot(fd)) knownTypes[fd] = FileType::Disk;
    return fd;
}

// What Windows refuses that Linux allows: reading a directory as a file,
// opening a file that is open elsewhere (share mode 0, stood in for by an
// exclusive lock on regular files), and writing over an existing file
// without any write permission bit, which Windows marks read-only and root
// could otherwise overwrite. A regular file opened for writing is
// emptied only once the lock is held; anything else is made blocking again
// for its reads and writes (a regular file never blocks). Gives the errno
// of a refusal, or 0.
int Prepare(int fd, OpenMode mode) {
    struct stat info;
    if (fstat(fd, &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (S_ISREG(info.st_mode)) {
        const bool readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        if (mode == OpenMode::Write && readOnly) return EACCES;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno;
        if (mode == OpenMode::Write && info.st_size != 0 && ftruncate(fd, 0) != 0) return errno;
    } else {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (IsKnownSlot(fd)) knownTypes[fd] = TypeOfMode(info.st_mode);
    return 0;
}

// Whether the folder part of a path names a folder: Windows tells a missing
// file (not found) from a missing folder (path not found); Linux does not.
bool FolderExists(const char* path) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return true;
    std::string folder(path, static_cast<size_t>(slash - path));
    struct stat info;
    return stat(folder.empty() ? "/" : folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// One read or write, made again when a signal interrupts it; `done` gets
// the number of bytes moved.
template <typename Call>
bool Transfer(Call call, uint32_t* done) {
    ssize_t n;
    do {
        n = call();
    } while (n < 0 && errno == EINTR);
    *done = n > 0 ? static_cast<uint32_t>(n) : 0;
    if (n < 0) Fail(errno);
    return n >= 0;
}

}  // namespace

PosixPlatform::PosixPlatform() {
    SetStartupDispositions();
}

const char* PosixPlatform::GetCommandLineA() {
    return nullptr;
}

std::string PosixPlatform::GetModuleFileNameA() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

Handle PosixPlatform::CreateFileA(const char* name, OpenMode mode) {
    if (HoldsControlCharacter(name)) {
        SetLastError(ErrorInvalidName);
        return InvalidHandle;
    }
    if (mode == OpenMode::Write) {
        int created = CreateNewFile(name);
        if (created >= 0) return created;
    }
    int fd = OpenDescriptor(name, mode);
    if (fd < 0) {
        Fail(errno);
        if (errno == ENOENT && !FolderExists(name)) SetLastError(ErrorPathNotFound);
        return InvalidHandle;
    }
    int refusal = Prepare(fd, mode);
    if (refusal != 0) {
        close(fd);
        Fail(refusal);
        return InvalidHandle;
    }
    return fd;
}

bool PosixPlatform::ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) {
    return Transfer([&] { return ::read(static_cast<int>(file), buffer, size); }, read);
}

bool PosixPlatform::WriteFile(Handle file, const uint8_t* buffer, uint32_t size,
                              uint32_t* written) {
    return Transfer([&] { return ::write(static_cast<int>(file), buffer, size); }, written);
}

bool PosixPlatform::CloseHandle(Handle handle) {
    if (handle >= ProcessHandleBase) return CloseProcessObject(handle);
    if (IsKnownSlot(handle)) knownTypes[handle] = FileType::Unknown;
    if (handle < 0 || ::close(static_cast<int>(handle)) != 0) {
        Fail(handle < 0 ? EBADF : errno);
        return false;
    }
    return true;
}

FileType PosixPlatform::GetFileType(Handle file) {
    if (IsKnownSlot(file) && knownTypes[file] != FileType::Unknown) return knownTypes[file];
    struct stat info;
    if (file < 0 || file > INT_MAX || fstat(static_cast<int>(file), &info) != 0)
        return FileType::Unknown;
    return TypeOfMode(info.st_mode);
}

uint32_t PosixPlatform::GetLastError() {
    return LastError();
}

Handle PosixPlatform::GetStdHandle(StdStream stream) {
    switch (stream) {
        case StdStream::Input: return Standard().In;
        case StdStream::Output: return Standard().Out;
        case StdStream::Error: break;
    }
    return Standard().Err;
}

bool PosixPlatform::UsesBackslashNames() {
    return false;
}

// Linux has no message box: the caption and the text go to standard error,
// and the program goes on at once.
void PosixPlatform::ShowMessageBox(const char* text, const char* caption) {
    WriteAsUtf8(STDERR_FILENO, caption);
    WriteAll(STDERR_FILENO, "\n", 1);
    WriteAsUtf8(STDERR_FILENO, text);
    WriteAll(STDERR_FILENO, "\n", 1);
}

void PosixPlatform::SetFaultFilter(FaultHandler handler) {
    faultHandler = handler;
    if (handler != nullptr) {
        InstallSignalHandlers();
    } else {
        RemoveSignalHandlers();
    }
}

// The place's offset in its executable image: it fits the report's eight
// digits and stays the same from run to run despite address randomisation.
uint32_t PosixPlatform::CodeAddress(const void* place) {
    Dl_info info;
    uintptr_t address = reinterpret_cast<uintptr_t>(place);
    if (place != nullptr && dladdr(place, &info) != 0 && info.dli_fbase != nullptr) {
        address -= reinterpret_cast<uintptr_t>(info.dli_fbase);
    }
    return static_cast<uint32_t>(address);
}

void PosixPlatform::ExitProcess(uint32_t status) {
    _exit(static_cast<int>(status));
}

Platform& SystemPlatform() {
    static PosixPlatform platform;
    return platform;
}

}  // namespace platform
