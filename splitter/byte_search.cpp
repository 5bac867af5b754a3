#include "splitter/byte_search.h"

#include <emmintrin.h>

// SSE2, which every processor that runs the product's systems has; the
// attribute lets a 32-bit build use it too. Sixteen bytes are compared at
// once and the comparisons become bit masks.

__attribute__((target("sse2"))) const char* FindFirstOf(const char* from, const char* end, char a,
                                                        char b, char c) {
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    const __m128i wantC = _mm_set1_epi8(c);
    while (end - from >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, wantA), _mm_cmpeq_epi8(block, wantB)),
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

__attribute__((target("sse2"))) uint64_t BlockStops(const char* block, char before) {
    const __m128i lessThan = _mm_set1_epi8('<');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    uint64_t tagsAndCrs = 0, crs = 0, lfs = 0;
    for (int part = 0; part < 4; ++part) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * part));
        __m128i isCr = _mm_cmpeq_epi8(bytes, cr);
        int shift = 16 * part;
        tagsAndCrs |= static_cast<uint64_t>(static_cast<uint16_t>(
                          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, lessThan), isCr))))
                      << shift;
        crs |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(isCr))) << shift;
        lfs |= static_cast<uint64_t>(
                   static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf))))
               << shift;
    }
    uint64_t afterCr = crs << 1 | (before == '\r' ? 1 : 0);
    return tagsAndCrs | (lfs & ~afterCr);
}
