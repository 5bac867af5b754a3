#include "runtime/text_file.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"

using platform::Current;
using platform::FileType;
using platform::Handle;

uint16_t PendingIoError = 0;

namespace {

constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint8_t LineEnd[2] = {CR, LF};

// Error numbers of the text-file operations themselves.
constexpr uint16_t ErrorDiskWrite = 101;
constexpr uint16_t ErrorNotAssigned = 102;
constexpr uint16_t ErrorNotOpen = 103;
constexpr uint16_t ErrorNotOpenForInput = 104;
constexpr uint16_t ErrorNotOpenForOutput = 105;

TextFile* openFiles = nullptr;

void Fail(uint32_t win32Code) {
    PendingIoError = MapWin32Error(win32Code);
}

void LinkOpen(TextFile& file) {
    file.NextOpen = openFiles;
    openFiles = &file;
}

void UnlinkOpen(TextFile& file) {
    for (TextFile** link = &openFiles; *link != nullptr; link = &(*link)->NextOpen) {
        if (*link == &file) {
            *link = file.NextOpen;
            break;
        }
    }
    file.NextOpen = nullptr;
}

// The standard input, output and error handles, fetched at start-up.
Handle standardInput = platform::InvalidHandle;
Handle standardOutput = platform::InvalidHandle;
Handle standardError = platform::InvalidHandle;

bool IsStdHandle(Handle handle) {
    return handle == standardInput || handle == standardOutput || handle == standardError;
}

// The error that an operation meets in a mode it cannot serve, or 0 when
// the mode is the one it needs. Reading and writing operations share it.
uint16_t WrongModeError(const TextFile& file, TextFileMode needed) {
    if (file.Mode == needed) return 0;
    switch (file.Mode) {
        case TextFileMode::Reading: return ErrorNotOpenForOutput;
        case TextFileMode::Writing: return ErrorNotOpenForInput;
        default: return ErrorNotOpen;
    }
}

// True when the operation may go on: nothing pending and the right mode.
bool Ready(const TextFile& file, TextFileMode needed) {
    if (PendingIoError != 0) return false;
    PendingIoError = WrongModeError(file, needed);
    return PendingIoError == 0;
}

// Reads up to InputLoadSize bytes to `into`; a character device gets one
// read, anything else is read until the load is full or the data ends.
// ERROR_BROKEN_PIPE is the end of the data.
uint32_t ReadLoad(TextFile& file, char* into) {
    platform::Platform& p = Current();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(into);
    uint32_t gathered = 0;
    if (file.Type == FileType::Char) {
        if (!p.ReadFile(file.Handle, bytes, InputLoadSize, &gathered)) Fail(p.GetLastError());
        return gathered;
    }
    while (gathered < static_cast<uint32_t>(InputLoadSize)) {
        uint32_t got = 0;
        if (!p.ReadFile(file.Handle, bytes + gathered, InputLoadSize - gathered, &got)) {
            uint32_t code = p.GetLastError();
            if (code != platform::ErrorBrokenPipe) Fail(code);
            break;
        }
        if (got == 0) break;
        gathered += got;
    }
    return gathered;
}

void WriteOutBuffer(TextFile& file) {
    platform::Platform& p = Current();
    uint32_t total = 0;
    uint32_t wanted = static_cast<uint32_t>(file.BufferPos);
    while (total < wanted) {
        uint32_t written = 0;
        if (!p.WriteFile(file.Handle, file.Buffer + total, wanted - total, &written)) {
            Fail(p.GetLastError());
            break;
        }
        total += written;
        if (written == 0) break;
    }
    if (total < wanted) PendingIoError = ErrorDiskWrite;
    file.BufferPos = 0;
}

void PutBytes(TextFile& file, const uint8_t* bytes, size_t n) {
    while (n > static_cast<size_t>(TextBufferSize - file.BufferPos)) {
        size_t free = static_cast<size_t>(TextBufferSize - file.BufferPos);
        std::memcpy(file.Buffer + file.BufferPos, bytes, free);
        file.BufferPos = TextBufferSize;
        WriteOutBuffer(file);
        // The failed write-out dropped a buffer of this text; the rest goes
        // the same way, or a later write-out would leave a hole in the file.
        if (PendingIoError != 0) return;
        bytes += free;
        n -= free;
    }
    std::memcpy(file.Buffer + file.BufferPos, bytes, n);
    file.BufferPos += static_cast<int32_t>(n);
}

// Releases the handle and leaves the file Closed; a character device keeps
// its handle open, as do the standard handles.
void ReleaseHandle(TextFile& file) {
    platform::Platform& p = Current();
    if (!IsStdHandle(file.Handle) && file.Type != FileType::Char) {
        p.CloseHandle(file.Handle);
    }
    file.Handle = platform::InvalidHandle;
    file.Mode = TextFileMode::Closed;
    file.BufferPos = 0;
    file.Loaded.Clear();
    UnlinkOpen(file);
}

bool IsOpen(const TextFile& file) {
    return file.Mode == TextFileMode::Reading || file.Mode == TextFileMode::Writing;
}

// Closes an open file without regard to PendingIoError: what was written is
// written out first. Used where a file is given up rather than closed.
void WriteOutAndRelease(TextFile& file) {
    if (file.Mode == TextFileMode::Writing) WriteOutBuffer(file);
    ReleaseHandle(file);
}

void Open(TextFile& file, TextFileMode mode) {
    if (PendingIoError != 0) return;
    if (file.Mode == TextFileMode::Unbound) {
        PendingIoError = ErrorNotAssigned;
        return;
    }
    if (IsOpen(file)) WriteOutAndRelease(file);
    if (PendingIoError != 0) return;
    file.Mode = mode;
    file.BufferPos = 0;
    file.Loaded.Clear();
    file.FlushAfterLine = false;
    platform::Platform& p = Current();
    if (p.UsesBackslashNames()) std::replace(file.Name.begin(), file.Name.end(), '/', '\\');
    bool reading = mode == TextFileMode::Reading;
    if (file.Name.empty()) {
        file.Handle = reading ? standardInput : standardOutput;
    } else {
        file.Handle = p.CreateFileA(file.Name.c_str(),
                                    reading ? platform::OpenMode::Read : platform::OpenMode::Write);
        if (file.Handle == platform::InvalidHandle) Fail(p.GetLastError());
    }
    if (PendingIoError != 0) {
        file.Mode = TextFileMode::Closed;
        file.Handle = platform::InvalidHandle;
        return;
    }
    // The type of a handle never changes: it is asked for once.
    file.Type = p.GetFileType(file.Handle);
    file.FlushAfterLine = !reading && file.Type == FileType::Char;
    LinkOpen(file);
}

}  // namespace

void FetchStandardHandles() {
    platform::Platform& p = Current();
    standardInput = p.GetStdHandle(platform::StdStream::Input);
    standardOutput = p.GetStdHandle(platform::StdStream::Output);
    standardError = p.GetStdHandle(platform::StdStream::Error);
}

uint16_t MapWin32Error(uint32_t code) {
    // The system's errors 19 to 31 (write-protected disk to general
    // failure) are faults of the drive, not of the file. Reports number
    // them 150 to 162, apart from the file errors, as the earlier tool's
    // reports did: a write-protected disk reads as error 150.
    if (code >= 19 && code <= 31) return static_cast<uint16_t>(code + 131);
    if (code == platform::ErrorSharingViolation) return 5;
    // A name too long for the system: 206 would read as a floating-point
    // underflow in the report.
    if (code == platform::ErrorFilenameTooLong) return 3;
    return static_cast<uint16_t>(code);
}

// The system releases the handles of a process that ends; a TextFile only
// has to leave the chain of open files when it goes.
TextFile::~TextFile() {
    UnlinkOpen(*this);
}

void TextFile::Bind(std::string_view name) {
    if (IsOpen(*this)) WriteOutAndRelease(*this);
    Handle = platform::InvalidHandle;
    Mode = TextFileMode::Closed;
    BufferPos = 0;
    Loaded.Clear();
    FlushAfterLine = false;
    Name.assign(name.data(), name.size());
}

void TextFile::OpenForReading() {
    Open(*this, TextFileMode::Reading);
}

void TextFile::CreateForWriting() {
    Open(*this, TextFileMode::Writing);
}

bool TextFile::Load(size_t n) {
    if (!Ready(*this, TextFileMode::Reading)) return false;
    uint32_t got = ReadLoad(*this, Loaded.MakeRoom(n, InputLoadSize));
    Loaded.Added(got);
    return got != 0;
}

void TextFile::WriteLine(std::string_view line) {
    if (!Ready(*this, TextFileMode::Writing)) return;
    PutBytes(*this, reinterpret_cast<const uint8_t*>(line.data()), line.size());
    if (PendingIoError != 0) return;
    WriteLines({reinterpret_cast<const char*>(LineEnd), sizeof LineEnd});
}

void TextFile::WriteLines(std::string_view lines) {
    if (!Ready(*this, TextFileMode::Writing)) return;
    PutBytes(*this, reinterpret_cast<const uint8_t*>(lines.data()), lines.size());
    if (PendingIoError == 0 && FlushAfterLine) WriteOutBuffer(*this);
}

void TextFile::Close() {
    if (PendingIoError != 0) return;
    if (!IsOpen(*this)) {
        PendingIoError = ErrorNotOpen;
        return;
    }
    WriteOutAndRelease(*this);
}

void WriteOutOpenFiles() {
    while (openFiles != nullptr) WriteOutAndRelease(*openFiles);
}

void RaisePendingIoError() {
    uint16_t number = PendingIoError;
    PendingIoError = 0;
    RaiseNumberedError(number, FORMSPLIT_HERE_ADDRESS());
}
