// TextFile: a buffered, line-oriented byte file over a platform handle.
//
// No operation returns a failure. A failing operation leaves an error number
// in PendingIoError, every operation but Bind does nothing while a number is
// pending, and callers follow each operation but Bind with IoCheck.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "runtime/read_window.h"

enum class TextFileMode : uint32_t { Unbound = 0, Closed, Reading, Writing };

// Bytes moved per system call. Output reaches the file a full buffer at a
// time (or a line at a time for a character device); input is read a full
// load at a time.
constexpr int32_t TextBufferSize = 65536;
// Tests build with a load of a few bytes, so that every boundary between
// loads meets every kind of byte.
#ifdef FORMSPLIT_INPUT_LOAD_SIZE
constexpr int32_t InputLoadSize = FORMSPLIT_INPUT_LOAD_SIZE;
#else
constexpr int32_t InputLoadSize = TextBufferSize;
#endif
constexpr uint8_t EndOfFileMark = 0x1A;

// The process-wide I/O error number; 0 means none.
extern uint16_t PendingIoError;

// Raises the fatal error for the pending I/O error number and clears it;
// the address is the point its call returns to, in the procedure that
// checked. It never returns, but is not declared so: the compiler merges
// calls that cannot return into one call for all the checks of a procedure,
// and puts nothing after such a call, so that its return point may lie in
// the next procedure. A call that may return keeps a return point of its
// own, in the procedure that made it (the build makes no call a tail call).
[[gnu::noinline, gnu::cold]] void RaisePendingIoError();

// Follows every TextFile operation but Bind: a pending I/O error number
// becomes a fatal error whose address is the point just after the check.
// Always inlined, also in a build without optimisation, so that each check
// makes a call of its own in the procedure that checks.
[[gnu::always_inline]] inline void IoCheck() {
    if (PendingIoError != 0) RaisePendingIoError();
}

struct TextFile {
    platform::Handle Handle = 0;
    TextFileMode Mode = TextFileMode::Unbound;
    int32_t BufferPos = 0;  // Writing: the bytes waiting in Buffer
    bool FlushAfterLine = false;
    platform::FileType Type = platform::FileType::Unknown;  // of the open handle
    std::string Name;
    TextFile* NextOpen = nullptr;    // chain of the open files, see WriteOutOpenFiles
    ReadWindow Loaded;               // Reading: the bytes loaded and not yet released
    uint8_t Buffer[TextBufferSize];  // Writing: the bytes not yet passed to the file

    TextFile() = default;
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;
    ~TextFile();

    // Binds a name. A file still open is first written out and closed, with
    // nothing added; a failure of that write-out is left pending.
    void Bind(std::string_view name);
    void OpenForReading();
    void CreateForWriting();
    // Reading: releases the first `n` bytes of Loaded and loads up to
    // InputLoadSize more after the rest. False when none came: the end of
    // the data, or a failure left pending.
    bool Load(size_t n);
    void WriteLine(std::string_view line);
    // Bytes that are whole lines, each already ended by CR LF.
    void WriteLines(std::string_view lines);
    void Close();
};

uint16_t MapWin32Error(uint32_t code);

// Takes the standard handles that files with an empty name stand for, once
// at start-up.
void FetchStandardHandles();

// Writes out and closes every TextFile still open, ignoring failures; the
// last step of a fatal end, so that nothing written is lost.
void WriteOutOpenFiles();
