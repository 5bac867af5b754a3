#include "runtime/line_buffer.h"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"

LineBuffer::~LineBuffer() {
    std::free(data_);
}

void LineBuffer::Append(const char* bytes, size_t n) {
    // An empty piece may come before the first block exists; memcpy must
    // not see its null pointer.
    if (n == 0) return;
    if (n > capacity_ - size_) {
        if (n > SIZE_MAX / 2 - size_) RaiseNumberedError(ErrorOutOfMemory);
        size_t wanted = size_ + n;
        size_t capacity = capacity_ < 256 ? 256 : capacity_;
        while (capacity < wanted) capacity *= 2;
        // realloc, not a new block and a copy: the C library can move the
        // pages of a large block without copying them.
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) RaiseNumberedError(ErrorOutOfMemory);
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }
    std::memcpy(data_ + size_, bytes, n);
    size_ += n;
}
