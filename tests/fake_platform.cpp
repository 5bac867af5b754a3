#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>

using platform::Handle;

namespace {
constexpr Handle StdInput = 10;
constexpr Handle StdOutput = 11;
constexpr Handle StdError = 12;
constexpr Handle KeyHandle = 50;
constexpr Handle ThreadHandle = 60;
}  // namespace

void FakePlatform::FailCall(int n, uint32_t error, bool persistent) {
    failures_.push_back({"", n, error, persistent});
}

void FakePlatform::FailCall(const std::string& kind, int n, uint32_t error, bool persistent) {
    failures_.push_back({kind, n, error, persistent});
}

bool FakePlatform::Fails(const char* kind) {
    ++Calls;
    int ofKind = ++CallsOfKind[kind];
    for (const Failure& f : failures_) {
        int count = f.Kind.empty() ? Calls : (f.Kind == kind ? ofKind : 0);
        if (count == 0) continue;
        if (count == f.N || (f.Persistent && count > f.N)) {
            lastError_ = f.Error;
            Log.push_back(std::string("FAIL ") + kind);
            return true;
        }
    }
    return false;
}

Handle FakePlatform::NewHandle() {
    Handle h = nextHandle_++;
    OpenHandles.insert(h);
    return h;
}

const char* FakePlatform::GetCommandLineA() {
    return CommandLine;
}

std::string FakePlatform::GetModuleFileNameA() {
    return "formsplit";
}

Handle FakePlatform::CreateFileA(const char* name, platform::OpenMode mode) {
    Log.push_back(std::string("CreateFileA ") + name);
    if (Fails("CreateFileA")) return platform::InvalidHandle;
    std::string n = name;
    for (const auto& [h, open] : files_) {
        if (open.Name == n) {
            lastError_ = platform::ErrorSharingViolation;
            return platform::InvalidHandle;
        }
    }
    bool isChar = CharDevices.count(n) != 0;
    if (Directories.count(n) != 0) {
        lastError_ = platform::ErrorAccessDenied;
        return platform::InvalidHandle;
    }
    if (mode == platform::OpenMode::Read) {
        if (!isChar && Files.count(n) == 0) {
            lastError_ = platform::ErrorFileNotFound;
            return platform::InvalidHandle;
        }
    } else {
        if (ReadOnlyFiles.count(n) != 0) {
            lastError_ = platform::ErrorAccessDenied;
            return platform::InvalidHandle;
        }
        if (!isChar) Files[n].clear();
    }
    Handle h = NewHandle();
    files_[h] = {n, mode, 0, isChar};
    return h;
}

bool FakePlatform::ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) {
    *read = 0;
    if (Fails("ReadFile")) return false;
    auto it = files_.find(file);
    if (it == files_.end() || it->second.Mode != platform::OpenMode::Read) {
        lastError_ = 6;  // ERROR_INVALID_HANDLE
        return false;
    }
    OpenFile& open = it->second;
    const std::string& content = Files[open.Name];
    size_t n = std::min<size_t>(size, content.size() - open.Position);
    if (ReadChunkLimit != 0) n = std::min<size_t>(n, ReadChunkLimit);
    std::memcpy(buffer, content.data() + open.Position, n);
    open.Position += n;
    *read = static_cast<uint32_t>(n);
    return true;
}

bool FakePlatform::WriteFile(Handle file, const uint8_t* buffer, uint32_t size, uint32_t* written) {
    *written = 0;
    WriteSizes.push_back(size);
    if (Fails("WriteFile")) return false;
    auto it = files_.find(file);
    if (it == files_.end() || it->second.Mode != platform::OpenMode::Write) {
        lastError_ = 6;
        return false;
    }
    Files[it->second.Name].append(reinterpret_cast<const char*>(buffer), size);
    *written = size;
    return true;
}

bool FakePlatform::CloseHandle(Handle handle) {
    bool failing = Fails("CloseHandle");
    // Like the real thing, a failing close still releases the handle.
    files_.erase(handle);
    bool wasOpen = OpenHandles.erase(handle) != 0 || handle == ThreadHandle;
    if (failing) return false;
    if (!wasOpen) lastError_ = 6;
    return wasOpen;
}

platform::FileType FakePlatform::GetFileType(Handle file) {
    if (Fails("GetFileType")) return platform::FileType::Unknown;
    auto it = files_.find(file);
    if (file == StdInput || file == StdOutput || file == StdError) return platform::FileType::Char;
    if (it == files_.end()) return platform::FileType::Unknown;
    return it->second.Char ? platform::FileType::Char : platform::FileType::Disk;
}

uint32_t FakePlatform::GetLastError() {
    return lastError_;
}

Handle FakePlatform::GetStdHandle(platform::StdStream stream) {
    switch (stream) {
        case platform::StdStream::Input: return StdInput;
        case platform::StdStream::Output: return StdOutput;
        case platform::StdStream::Error: break;
    }
    return StdError;
}

bool FakePlatform::UsesBackslashNames() {
    return UseBackslashes;
}

int32_t FakePlatform::RegOpenKeyExA(const char* subKey, Handle* key) {
    Log.push_back(std::string("RegOpenKeyExA ") + subKey);
    if (Fails("RegOpenKeyExA")) return static_cast<int32_t>(lastError_);
    if (!KeyExists || std::strcmp(subKey, "Software\\Ormu6") != 0) return 2;
    *key = KeyHandle;
    OpenHandles.insert(KeyHandle);
    return platform::ErrorSuccess;
}

int32_t FakePlatform::RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                                       uint32_t* size) {
    if (Fails("RegQueryValueExA")) return static_cast<int32_t>(lastError_);
    if (key != KeyHandle) return 6;
    auto it = Values.find(name);
    if (it == Values.end()) return 2;  // ERROR_FILE_NOT_FOUND
    const FakeRegistryValue& v = it->second;
    *type = v.Type;
    uint32_t needed = static_cast<uint32_t>(v.Data.size());
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return 234;  // ERROR_MORE_DATA
        }
        std::memcpy(data, v.Data.data(), needed);
    }
    *size = needed;
    return platform::ErrorSuccess;
}

void FakePlatform::RegCloseKey(Handle key) {
    Log.push_back("RegCloseKey");
    OpenHandles.erase(key);
}

Handle FakePlatform::FindFirstFileA(const char* path) {
    Log.push_back(std::string("FindFirstFileA ") + path);
    if (Fails("FindFirstFileA")) return platform::InvalidHandle;
    if (Files.count(path) == 0 && Directories.count(path) == 0) {
        lastError_ = platform::ErrorFileNotFound;
        return platform::InvalidHandle;
    }
    return NewHandle();
}

void FakePlatform::FindClose(Handle search) {
    OpenHandles.erase(search);
}

std::string FakePlatform::QuotedArgument(std::string_view argument) {
    return "\"" + std::string(argument) + "\"";
}

bool FakePlatform::CreateProcessA(const char* commandLine, platform::ProcessInfo* started) {
    Log.push_back(std::string("CreateProcessA ") + commandLine);
    StartedCommandLines.push_back(commandLine);
    if (Fails("CreateProcessA")) return false;
    if (!ListFileName.empty()) ListedAtStart.push_back(Files[ListFileName]);
    started->Process = NewHandle();
    started->Thread = ThreadHandle;
    return true;
}

uint32_t FakePlatform::WaitForSingleObject(Handle process) {
    if (Fails("WaitForSingleObject") || WaitFails || OpenHandles.count(process) == 0) {
        return platform::WaitFailed;
    }
    return 0;
}

bool FakePlatform::GetExitCodeProcess(Handle process, uint32_t* code) {
    if (Fails("GetExitCodeProcess") || OpenHandles.count(process) == 0) return false;
    *code = ProgramExitCode;
    return true;
}

void FakePlatform::ShowMessageBox(const char* text, const char* caption) {
    Boxes.push_back({text, caption});
}

void FakePlatform::SetFaultFilter(platform::FaultHandler handler) {
    FaultFilter = handler;
}

uint32_t FakePlatform::CodeAddress(const void* place) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(place));
}

void FakePlatform::ExitProcess(uint32_t status) {
    throw FakeExit{status};
}
