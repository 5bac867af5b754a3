// ReadWindow: the input bytes that have been loaded and are still needed,
// in one block. The reader releases bytes from the front as it hands them
// over; what it keeps moves to the front before the next load, and the
// block grows only when the kept bytes fill half of it. So the block stays
// at two loads while the reader keeps little, and grows with the longest
// stretch it must keep, never with the input.
#pragma once

#include <cstddef>
#include <string_view>

class ReadWindow {
public:
    ReadWindow() = default;
    ReadWindow(const ReadWindow&) = delete;
    ReadWindow& operator=(const ReadWindow&) = delete;
    ~ReadWindow();

    std::string_view View() const { return {data_ + start_, end_ - start_}; }
    void Clear() { start_ = end_ = 0; }
    // Releases the first `n` bytes of View() and makes room for `wanted`
    // more after the rest; gives where they go. The kept bytes may move.
    // Heap exhaustion is the fatal "Out of memory".
    char* MakeRoom(size_t n, size_t wanted);
    // `n` bytes were put where MakeRoom pointed.
    void Added(size_t n) { end_ += n; }

private:
    char* data_ = nullptr;
    size_t start_ = 0;  // first byte still needed
    size_t end_ = 0;    // one past the last byte loaded
    size_t capacity_ = 0;
};
