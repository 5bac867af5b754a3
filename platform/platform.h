// The operating-system services formsplit uses, in Win32 terms.
//
// Everything above this layer (driver, splitter, launcher, runtime) reaches
// the system only through `platform::Current()`. The build links exactly one
// implementation (posix_*.cpp or win32_*.cpp) that provides SystemPlatform();
// tests put a fake in its place for a scope with platform::ScopedPlatform.
//
// Handles and error numbers are Win32's; names that windows.h would turn
// into macros carry their A suffix. Failing calls return their failure
// value and leave a Win32 error number for GetLastError().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using Handle = std::intptr_t;
constexpr Handle InvalidHandle = -1;

// Win32 error numbers the system meets by name.
constexpr uint32_t ErrorFileNotFound = 2;
constexpr uint32_t ErrorPathNotFound = 3;
constexpr uint32_t ErrorTooManyOpenFiles = 4;
constexpr uint32_t ErrorAccessDenied = 5;
constexpr uint32_t ErrorWriteProtect = 19;
constexpr uint32_t ErrorSharingViolation = 32;
constexpr uint32_t ErrorBrokenPipe = 109;
constexpr uint32_t ErrorDiskFull = 112;
constexpr uint32_t ErrorInvalidName = 123;
constexpr uint32_t ErrorFilenameTooLong = 206;

// Registry results and value types.
constexpr int32_t ErrorSuccess = 0;
constexpr uint32_t RegNone = 0;
constexpr uint32_t RegSz = 1;
constexpr uint32_t RegExpandSz = 2;
constexpr uint32_t RegBinary = 3;
constexpr uint32_t RegDword = 4;

constexpr uint32_t WaitFailed = 0xFFFFFFFF;

enum class FileType : uint32_t { Unknown = 0, Disk = 1, Char = 2, Pipe = 3 };
enum class StdStream { Input, Output, Error };
enum class OpenMode { Read, Write };

struct ProcessInfo {
    Handle Process = InvalidHandle;
    Handle Thread = InvalidHandle;
};

// Called by the platform when the processor faults, with the Win32 exception
// code of the fault (signals are given the code of the matching exception)
// and the faulting place as CodeAddress gives it. It returns false for a code
// it does not handle, which the platform then passes on to the system;
// otherwise it reports and ends the process.
using FaultHandler = bool (*)(uint32_t faultCode, uint32_t address);

class Platform {
public:
    virtual ~Platform() = default;

    // Start-up (kernel32). GetCommandLineA returns nullptr where the system
    // hands the program an argument vector instead of a command line.
    virtual const char* GetCommandLineA() = 0;
    virtual std::string GetModuleFileNameA() = 0;

    // Files (kernel32). CreateFileA opens with share mode 0 and an inheritable
    // handle: Read is GENERIC_READ + OPEN_EXISTING, Write is GENERIC_WRITE +
    // CREATE_ALWAYS. It returns InvalidHandle on failure.
    virtual Handle CreateFileA(const char* name, OpenMode mode) = 0;
    virtual bool ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) = 0;
    virtual bool WriteFile(Handle file, const uint8_t* buffer, uint32_t size,
                           uint32_t* written) = 0;
    virtual bool CloseHandle(Handle handle) = 0;
    virtual FileType GetFileType(Handle file) = 0;
    virtual uint32_t GetLastError() = 0;
    virtual Handle GetStdHandle(StdStream stream) = 0;
    // Whether file names go to CreateFileA with '/' turned into '\'.
    virtual bool UsesBackslashNames() = 0;

    // Registry (advapi32), below HKEY_CURRENT_USER, opened for reading.
    virtual int32_t RegOpenKeyExA(const char* subKey, Handle* key) = 0;
    // data == nullptr asks for type and size only.
    virtual int32_t RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                                     uint32_t* size) = 0;
    virtual void RegCloseKey(Handle key) = 0;

    // Locating and running a program (kernel32).
    virtual Handle FindFirstFileA(const char* path) = 0;
    virtual void FindClose(Handle search) = 0;
    virtual bool CreateProcessA(const char* commandLine, ProcessInfo* started) = 0;
    // One argument as a command line holds it, in double quotes, so that
    // the started program's start-up code gives back exactly `argument`.
    virtual std::string QuotedArgument(std::string_view argument) = 0;
    virtual uint32_t WaitForSingleObject(Handle process) = 0;
    virtual bool GetExitCodeProcess(Handle process, uint32_t* code) = 0;

    // User interface (user32): a modal OK box. Text and caption are
    // Windows-1250 bytes, NUL-terminated.
    virtual void ShowMessageBox(const char* text, const char* caption) = 0;

    // Process.
    virtual void SetFaultFilter(FaultHandler handler) = 0;  // nullptr removes it
    // A code address as the report prints it: 32 bits that identify the
    // place and stay the same from run to run.
    virtual uint32_t CodeAddress(const void* place) = 0;
    [[noreturn]] virtual void ExitProcess(uint32_t status) = 0;
};

// The platform in force; SystemPlatform() unless a ScopedPlatform put
// another in force.
Platform& Current();

// Puts `replacement` in force for its own lifetime, and the platform that
// was in force before back when it ends, so that nothing points at a
// replacement after it is gone. Guards nest; the inner one must end first.
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform& replacement);
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform* previous_;
};

// Provided by the one OS implementation the build links.
Platform& SystemPlatform();

}  // namespace platform
