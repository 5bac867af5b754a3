// The searches the scanner spends most of its time in, over text where the
// bytes it looks for are a few in a hundred.
#pragma once

#include <cstddef>
#include <cstdint>

// The first byte of [from, end) equal to a, b or c, or end.
const char* FindFirstOf(const char* from, const char* end, char a, char b, char c);

constexpr size_t StopBlockSize = 64;

// Where the scan of text outside a root tag's attributes must stop, in the
// 64 bytes from `block` on: bit i is set when block[i] is a "<", a CR, or
// an LF that does not follow a CR (`before` is the byte before the block,
// or 0).
uint64_t BlockStops(const char* block, char before);
