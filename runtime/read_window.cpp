#include "runtime/read_window.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"

ReadWindow::~ReadWindow() {
    std::free(data_);
}

char* ReadWindow::MakeRoom(size_t n, size_t wanted) {
    start_ += n;
    size_t kept = end_ - start_;
    if (capacity_ - end_ >= wanted) return data_ + end_;
    // Moving the kept bytes costs no more than the loads that follow it,
    // since the block is at least twice what is kept.
    if (kept > SIZE_MAX / 4 - wanted) RaiseNumberedError(ErrorOutOfMemory);
    size_t capacity = capacity_;
    while (capacity < 2 * kept + wanted) capacity = capacity == 0 ? 2 * wanted : 2 * capacity;
    if (capacity != capacity_) {
        // realloc, not a new block and a copy: the C library can move the
        // pages of a large block without copying them.
        void* grown = std::realloc(data_, capacity);
        if (grown == nullptr) RaiseNumberedError(ErrorOutOfMemory);
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
    }
    // An empty block (kept == 0) may still be the null pointer here.
    if (kept != 0 && start_ != 0) std::memmove(data_, data_ + start_, kept);
    start_ = 0;
    end_ = kept;
    return data_ + end_;
}
