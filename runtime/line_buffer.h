// LineBuffer: the byte string that a line is read into. It grows in place
// where the system can (a large block is remapped rather than copied), so a
// line of hundreds of megabytes, as a batch written on one line gives, is
// held once and never copied while it grows.
#pragma once

#include <cstddef>
#include <string_view>

class LineBuffer {
public:
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer();

    void Clear() { size_ = 0; }
    bool Empty() const { return size_ == 0; }
    // Appends n bytes; heap exhaustion is the fatal "Out of memory".
    void Append(const char* bytes, size_t n);
    std::string_view View() const { return {data_, size_}; }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};
