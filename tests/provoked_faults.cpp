#include "tests/provoked_faults.h"

#include <cstddef>
#include <limits>
#include <new>

namespace {

// Volatile, so that the compiler can neither see the faults coming nor
// remove them.
volatile int zero = 0;
volatile int one = 1;
volatile int* volatile nowhere = nullptr;
volatile int never = -1;
void* volatile allocated = nullptr;

int Recurse(int depth) {
    if (depth == never) return 0;
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

}  // namespace

void AccessViolation() {
    *nowhere = 1;
}

void DivisionByZero() {
    zero = one / zero;
}

void StackOverflow() {
    zero = Recurse(0);
}

void UnmetAllocation() {
    allocated = ::operator new(std::numeric_limits<size_t>::max() / 2);
}
