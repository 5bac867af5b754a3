// A platform for tests: an in-memory file system, registry and program
// table, in which any call can be made to fail.
//
// Calls are counted from 1 in the order the program makes them. A failure
// armed for call N (of every kind, or of one kind) makes that call fail with
// a chosen Win32 error; a persistent one fails every matching call from N on.
// Message boxes are recorded instead of shown, and ExitProcess throws
// FakeExit, so a whole run can take place inside a test.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeExit {
    uint32_t Status;
};

struct FakeBox {
    std::string Text;
    std::string Caption;
};

struct FakeRegistryValue {
    uint32_t Type;
    std::string Data;  // the stored bytes, terminator included where there is one
};

class FakePlatform final : public platform::Platform {
public:
    // --- what the test sets up ---
    std::map<std::string, std::string> Files;  // name -> content
    std::set<std::string> Directories;         // entries that are folders
    std::set<std::string> CharDevices;         // names that open as a character device
    std::set<std::string> ReadOnlyFiles;       // existing files that cannot be written
    bool KeyExists = false;                    // HKCU\Software\Ormu6
    std::map<std::string, FakeRegistryValue> Values;
    uint32_t ProgramExitCode = 0;  // of every program started
    bool WaitFails = false;
    const char* CommandLine = nullptr;  // what GetCommandLineA returns
    uint32_t ReadChunkLimit = 0;  // when set, ReadFile delivers at most this many bytes a call

    void FailCall(int n, uint32_t error, bool persistent = false);
    void FailCall(const std::string& kind, int n, uint32_t error, bool persistent = false);

    // --- what the test reads afterwards ---
    int Calls = 0;                           // every call so far
    std::map<std::string, int> CallsOfKind;  // by method name
    std::vector<std::string> Log;            // "CreateFileA name", "WriteFile name 512", ...
    std::vector<FakeBox> Boxes;
    std::vector<std::string> StartedCommandLines;
    std::vector<std::string> ListedAtStart;  // the list file's content when the program started
    std::set<platform::Handle> OpenHandles;  // files, keys, searches, processes still open
    std::vector<uint32_t> WriteSizes;        // size of every WriteFile call

    // --- the platform ---
    const char* GetCommandLineA() override;
    std::string GetModuleFileNameA() override;
    platform::Handle CreateFileA(const char* name, platform::OpenMode mode) override;
    bool ReadFile(platform::Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) override;
    bool WriteFile(platform::Handle file, const uint8_t* buffer, uint32_t size,
                   uint32_t* written) override;
    bool CloseHandle(platform::Handle handle) override;
    platform::FileType GetFileType(platform::Handle file) override;
    uint32_t GetLastError() override;
    platform::Handle GetStdHandle(platform::StdStream stream) override;
    bool UsesBackslashNames() override;
    int32_t RegOpenKeyExA(const char* subKey, platform::Handle* key) override;
    int32_t RegQueryValueExA(platform::Handle key, const char* name, uint32_t* type, uint8_t* data,
                             uint32_t* size) override;
    void RegCloseKey(platform::Handle key) override;
    platform::Handle FindFirstFileA(const char* path) override;
    void FindClose(platform::Handle search) override;
    bool CreateProcessA(const char* commandLine, platform::ProcessInfo* started) override;
    // In plain quotes, as on Windows, whose names hold no double quote.
    std::string QuotedArgument(std::string_view argument) override;
    uint32_t WaitForSingleObject(platform::Handle process) override;
    bool GetExitCodeProcess(platform::Handle process, uint32_t* code) override;
    void ShowMessageBox(const char* text, const char* caption) override;
    void SetFaultFilter(platform::FaultHandler handler) override;
    uint32_t CodeAddress(const void* place) override;
    [[noreturn]] void ExitProcess(uint32_t status) override;

    platform::FaultHandler FaultFilter = nullptr;
    bool UseBackslashes = false;
    std::string ListFileName;  // whose content ListedAtStart takes

private:
    struct Failure {
        std::string Kind;  // empty: any kind
        int N;
        uint32_t Error;
        bool Persistent;
    };
    struct OpenFile {
        std::string Name;
        platform::OpenMode Mode;
        size_t Position;
        bool Char;
    };
    std::vector<Failure> failures_;
    std::map<platform::Handle, OpenFile> files_;
    platform::Handle nextHandle_ = 100;
    uint32_t lastError_ = 0;

    // Counts a call; true when it is to fail (the error is then set).
    bool Fails(const char* kind);
    platform::Handle NewHandle();
};
