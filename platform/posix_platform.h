// The Linux implementation of the platform layer. Its methods are spread
// over posix_platform.cpp (files, start-up, boxes, faults, exit),
// posix_registry.cpp (HKEY_CURRENT_USER from a registry-export text file)
// and posix_process.cpp (locating, starting and waiting for a program).
#pragma once

#include "platform/platform.h"

namespace platform {

class PosixPlatform final : public Platform {
public:
    // Sets the signal dispositions the program relies on; made once, at
    // start-up, when the platform is first used.
    PosixPlatform();

    const char* GetCommandLineA() override;
    std::string GetModuleFileNameA() override;

    Handle CreateFileA(const char* name, OpenMode mode) override;
    bool ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) override;
    bool WriteFile(Handle file, const uint8_t* buffer, uint32_t size, uint32_t* written) override;
    bool CloseHandle(Handle handle) override;
    FileType GetFileType(Handle file) override;
    uint32_t GetLastError() override;
    Handle GetStdHandle(StdStream stream) override;
    bool UsesBackslashNames() override;

    int32_t RegOpenKeyExA(const char* subKey, Handle* key) override;
    int32_t RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                             uint32_t* size) override;
    void RegCloseKey(Handle key) override;

    Handle FindFirstFileA(const char* path) override;
    void FindClose(Handle search) override;
    bool CreateProcessA(const char* commandLine, ProcessInfo* started) override;
    std::string QuotedArgument(std::string_view argument) override;
    uint32_t WaitForSingleObject(Handle process) override;
    bool GetExitCodeProcess(Handle process, uint32_t* code) override;

    void ShowMessageBox(const char* text, const char* caption) override;
    void SetFaultFilter(FaultHandler handler) override;
    uint32_t CodeAddress(const void* place) override;
    [[noreturn]] void ExitProcess(uint32_t status) override;
};

// Handles of this platform: file descriptors are their own handle; other
// kinds of object get handles in ranges of their own, so CloseHandle can
// tell them apart.
constexpr Handle ProcessHandleBase = Handle{1} << 40;
constexpr Handle ThreadHandleBase = Handle{2} << 40;
constexpr Handle SearchHandleBase = Handle{3} << 40;
constexpr Handle KeyHandleBase = Handle{4} << 40;

// Closes a process or thread handle of a started program.
bool CloseProcessObject(Handle handle);

}  // namespace platform
