// Letter case as the system knows it: only the bytes a to z have another
// case. Accented letters of the code page are left alone, so a name or tag
// spelled with them never matches its plain spelling.
#pragma once

#include <cstddef>
#include <string_view>

// Byte a to z folded to A to Z; every other byte unchanged. Inline: the
// tag scanner calls it on every byte it compares.
inline char FoldToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` holds `upper` (upper-case) at `at`, with a to z folded.
inline bool MatchesFoldedAt(std::string_view text, size_t at, std::string_view upper) {
    if (at > text.size() || text.size() - at < upper.size()) return false;
    for (size_t i = 0; i < upper.size(); ++i) {
        if (FoldToUpper(text[at + i]) != upper[i]) return false;
    }
    return true;
}
