// A platform that passes every call on to another one. A wrapper that
// traces calls or makes some of them fail derives from it and overrides
// only the calls it cares about. The target must outlive the wrapper.
#pragma once

#include <cstdlib>

#include "platform/platform.h"

namespace platform {

class PlatformWrapper : public Platform {
public:
    explicit PlatformWrapper(Platform& target) : target_(target) {}

    const char* GetCommandLineA() override { return target_.GetCommandLineA(); }
    std::string GetModuleFileNameA() override { return target_.GetModuleFileNameA(); }
    Handle CreateFileA(const char* name, OpenMode mode) override {
        return target_.CreateFileA(name, mode);
    }
    bool ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) override {
        return target_.ReadFile(file, buffer, size, read);
    }
    bool WriteFile(Handle file, const uint8_t* buffer, uint32_t size, uint32_t* written) override {
        return target_.WriteFile(file, buffer, size, written);
    }
    bool CloseHandle(Handle handle) override { return target_.CloseHandle(handle); }
    FileType GetFileType(Handle file) override { return target_.GetFileType(file); }
    uint32_t GetLastError() override { return target_.GetLastError(); }
    Handle GetStdHandle(StdStream stream) override { return target_.GetStdHandle(stream); }
    bool UsesBackslashNames() override { return target_.UsesBackslashNames(); }

    int32_t RegOpenKeyExA(const char* subKey, Handle* key) override {
        return target_.RegOpenKeyExA(subKey, key);
    }
    int32_t RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                             uint32_t* size) override {
        return target_.RegQueryValueExA(key, name, type, data, size);
    }
    void RegCloseKey(Handle key) override { target_.RegCloseKey(key); }

    Handle FindFirstFileA(const char* path) override { return target_.FindFirstFileA(path); }
    void FindClose(Handle search) override { target_.FindClose(search); }
    bool CreateProcessA(const char* commandLine, ProcessInfo* started) override {
        return target_.CreateProcessA(commandLine, started);
    }
    std::string QuotedArgument(std::string_view argument) override {
        return target_.QuotedArgument(argument);
    }
    uint32_t WaitForSingleObject(Handle process) override {
        return target_.WaitForSingleObject(process);
    }
    bool GetExitCodeProcess(Handle process, uint32_t* code) override {
        return target_.GetExitCodeProcess(process, code);
    }

    void ShowMessageBox(const char* text, const char* caption) override {
        target_.ShowMessageBox(text, caption);
    }

    void SetFaultFilter(FaultHandler handler) override { target_.SetFaultFilter(handler); }
    uint32_t CodeAddress(const void* place) override { return target_.CodeAddress(place); }
    // The target's ExitProcess does not return either; a call through a
    // reference does not carry that promise, so it is kept here.
    [[noreturn]] void ExitProcess(uint32_t status) override {
        target_.ExitProcess(status);
        std::abort();
    }

private:
    Platform& target_;
};

}  // namespace platform
