// The search that the scanner spends most of its time in: the next byte
// that is one of three, over text where such bytes are a few in a hundred.
#pragma once

// The first byte of [from, end) equal to a, b or c, or end.
const char* FindFirstOf(const char* from, const char* end, char a, char b, char c);
