#include "splitter/byte_search.h"

#include <emmintrin.h>


// Sixteen bytes compared at once (SSE2, which every processor that runs the
// product's systems has; the attribute lets a 32-bit build use it too),
// then the last few one by one.
__attribute__((target("sse2"))) const char* FindFirstOf(const char* from, const char* end, char a, char b,
                                                         char c) {
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    const __m128i wantC = _mm_set1_epi8(c);
    while (end - from >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, wantA), _mm_cmpeq_epi8(block, wantB)),
                                    _mm_cmpeq_epi8(block, wantC));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0) return from + __builtin_ctz(mask);
        from += 16;
    }
    for (; from != end; ++from) {
        if (*from == a || *from == b || *from == c) return from;
    }
    return end;
}
