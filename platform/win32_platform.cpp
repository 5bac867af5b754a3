// The Windows implementation of the platform layer: each method is the
// Win32 call of the same name, with the arguments formsplit always passes.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// The product is a 32-bit program and these records have their 32-bit
// sizes there. The same sources also build for 64-bit Windows (to test on
// hosts that run no 32-bit programs), where the records are wider.
constexpr bool Builds32Bit = sizeof(void*) == 4;
static_assert(!Builds32Bit || sizeof(STARTUPINFOA) == 68, "the startup record is the 32-bit one");
static_assert(!Builds32Bit || sizeof(SECURITY_ATTRIBUTES) == 12,
              "the security record is the 32-bit one");

HANDLE ToHandle(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

Handle FromHandle(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

HKEY ToKey(Handle key) {
    return reinterpret_cast<HKEY>(key);
}

// The executable's image where the loader put it (a symbol of the linker).
extern "C" IMAGE_DOS_HEADER __ImageBase;

// A place in the executable as it lies in the image that the build linked,
// so that it is the same in every run wherever the image was loaded, and
// matches the executable's own addresses; a place elsewhere as it is.
uint32_t AddressOf(const void* place) {
    const uintptr_t loaded = reinterpret_cast<uintptr_t>(&__ImageBase);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(loaded + __ImageBase.e_lfanew);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(place) - loaded;
    if (offset < headers->OptionalHeader.SizeOfImage)
        return static_cast<uint32_t>(FORMSPLIT_IMAGE_BASE + offset);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(place));
}

// Message box texts are Windows-1250 bytes; they are shown through the
// wide-character call so that the Hungarian letters come out right under any
// ANSI code page. The buffers are fixed because the error box also reports
// heap exhaustion. The longest text shown is the error box's 1024 bytes.
constexpr int CodePage1250 = 1250;
wchar_t boxText[1024 + 1];
wchar_t boxCaption[256];

template <size_t Capacity>
const wchar_t* Widen1250(const char* bytes, wchar_t (&wide)[Capacity]) {
    // Windows-1250 is a single-byte code page: one byte, one UTF-16 unit. A
    // text longer than the buffer is cut.
    const int room = static_cast<int>(Capacity - 1);
    const int length = static_cast<int>(strnlen(bytes, room));
    const int converted = MultiByteToWideChar(CodePage1250, 0, bytes, length, wide, room);
    wide[converted] = L'\0';
    return wide;
}

FaultHandler faultHandler = nullptr;

struct Fault {
    uint32_t Code;
    uint32_t Address;
    bool Handled;
};

DWORD WINAPI HandleFault(void* parameter) {
    Fault& fault = *static_cast<Fault*>(parameter);
    fault.Handled = faultHandler(fault.Code, fault.Address);
    return 0;
}

// The handler runs on a thread of its own while the faulting thread waits:
// after a stack overflow the faulting thread has only the room that
// KeepRoomForStackOverflow keeps, enough to dispatch the fault and start a
// thread but too little for a message box. Should no thread start, it runs
// on the faulting one.
LONG WINAPI FaultFilter(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    Fault fault{record->ExceptionCode, AddressOf(record->ExceptionAddress), false};
    const HANDLE handler = CreateThread(nullptr, 0, HandleFault, &fault, 0, nullptr);
    if (handler != nullptr) {
        ::WaitForSingleObject(handler, INFINITE);
        ::CloseHandle(handler);
    } else {
        HandleFault(&fault);
    }
    // A handler that takes the fault reports it and ends the process itself.
    return fault.Handled ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

// Stack that a stack overflow leaves for the dispatch of the fault, the
// filter and the start of the handler's thread; a page is 4 KiB on every
// processor the program builds for.
constexpr ULONG StackOverflowRoom = 64 * 1024;
constexpr SIZE_T PageSize = 4096;

// Makes a stack overflow of the calling thread leave StackOverflowRoom. The
// system keeps the guaranteed room when its guard page, moving down a page
// at a time as the stack grows, reaches it. Where the whole stack is
// committed up front with its one guard page at the bottom, as under Wine,
// that page comes too late: a guard page set above the room starts the
// moving. Where that page is not committed yet (Windows) the call fails,
// which is as well: there the system's own guard page moves.
void KeepRoomForStackOverflow() {
    ULONG room = StackOverflowRoom;
    SetThreadStackGuarantee(&room);
    MEMORY_BASIC_INFORMATION stack;
    if (VirtualQuery(&stack, &stack, sizeof stack) == 0) return;
    char* guard = static_cast<char*>(stack.AllocationBase) + 2 * StackOverflowRoom;
    if (guard + PageSize > reinterpret_cast<char*>(&stack)) return;  // a stack too small to matter
    DWORD previous;
    VirtualProtect(guard, PageSize, PAGE_READWRITE | PAGE_GUARD, &previous);
}

class Win32Platform final : public Platform {
public:
    const char* GetCommandLineA() override { return ::GetCommandLineA(); }

    std::string GetModuleFileNameA() override {
        // The path may be longer than MAX_PATH: grow until it fits.
        std::string path(MAX_PATH, '\0');
        for (;;) {
            const DWORD length =
                ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
            if (length < path.size()) {
                path.resize(length);
                return path;
            }
            path.resize(path.size() * 2);
        }
    }

    Handle CreateFileA(const char* name, OpenMode mode) override {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const bool reading = mode == OpenMode::Read;
        const HANDLE file =
            ::CreateFileA(name, reading ? GENERIC_READ : GENERIC_WRITE, 0, &inheritable,
                          reading ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file == nullptr || file == INVALID_HANDLE_VALUE ? InvalidHandle : FromHandle(file);
    }

    bool ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) override {
        DWORD count = 0;
        const bool done = ::ReadFile(ToHandle(file), buffer, size, &count, nullptr) != FALSE;
        *read = count;
        return done;
    }

    bool WriteFile(Handle file, const uint8_t* buffer, uint32_t size, uint32_t* written) override {
        DWORD count = 0;
        const bool done = ::WriteFile(ToHandle(file), buffer, size, &count, nullptr) != FALSE;
        *written = count;
        return done;
    }

    bool CloseHandle(Handle handle) override { return ::CloseHandle(ToHandle(handle)) != FALSE; }

    FileType GetFileType(Handle file) override {
        switch (::GetFileType(ToHandle(file))) {
            case FILE_TYPE_DISK: return FileType::Disk;
            case FILE_TYPE_CHAR: return FileType::Char;
            case FILE_TYPE_PIPE: return FileType::Pipe;
            default: return FileType::Unknown;
        }
    }

    uint32_t GetLastError() override { return ::GetLastError(); }

    Handle GetStdHandle(StdStream stream) override {
        static constexpr DWORD Ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        return FromHandle(::GetStdHandle(Ids[static_cast<int>(stream)]));
    }

    bool UsesBackslashNames() override { return true; }

    int32_t RegOpenKeyExA(const char* subKey, Handle* key) override {
        HKEY opened = nullptr;
        const LONG result = ::RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &opened);
        *key = FromHandle(opened);
        return result;
    }

    int32_t RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                             uint32_t* size) override {
        DWORD valueType = 0;
        DWORD valueSize = data != nullptr ? *size : 0;  // in: the buffer's size
        const LONG result =
            ::RegQueryValueExA(ToKey(key), name, nullptr, &valueType, data, &valueSize);
        *type = valueType;
        *size = valueSize;
        return result;
    }

    void RegCloseKey(Handle key) override { ::RegCloseKey(ToKey(key)); }

    Handle FindFirstFileA(const char* path) override {
        WIN32_FIND_DATAA found;
        return FromHandle(::FindFirstFileA(path, &found));
    }

    void FindClose(Handle search) override { ::FindClose(ToHandle(search)); }

    bool CreateProcessA(const char* commandLine, ProcessInfo* started) override {
        std::string writable(commandLine);  // CreateProcessA may write into it
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION process;
        if (!::CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                              nullptr, nullptr, &startup, &process)) {
            return false;
        }
        started->Process = FromHandle(process.hProcess);
        started->Thread = FromHandle(process.hThread);
        return true;
    }

    // A Windows file name holds no double quote, and the list file's name
    // ends in ".Txt", never in a backslash: plain quotes give it back whole.
    std::string QuotedArgument(std::string_view argument) override {
        return "\"" + std::string(argument) + "\"";
    }

    uint32_t WaitForSingleObject(Handle process) override {
        return ::WaitForSingleObject(ToHandle(process), INFINITE);
    }

    bool GetExitCodeProcess(Handle process, uint32_t* code) override {
        DWORD exitCode = 0;
        const bool done = ::GetExitCodeProcess(ToHandle(process), &exitCode) != FALSE;
        *code = exitCode;
        return done;
    }

    void ShowMessageBox(const char* text, const char* caption) override {
        MessageBoxW(nullptr, Widen1250(text, boxText), Widen1250(caption, boxCaption), MB_OK);
    }

    void SetFaultFilter(FaultHandler handler) override {
        faultHandler = handler;
        if (handler != nullptr) KeepRoomForStackOverflow();
        SetUnhandledExceptionFilter(handler != nullptr ? FaultFilter : nullptr);
    }

    uint32_t CodeAddress(const void* place) override { return AddressOf(place); }

    [[noreturn]] void ExitProcess(uint32_t status) override { ::ExitProcess(status); }
};

}  // namespace

Platform& SystemPlatform() {
    static Win32Platform system;
    return system;
}

}  // namespace platform
