// The tag scanner: cuts each input line at the six tags that matter to the
// split and hands the pieces to the splitter's actions.
#pragma once

#include <cstddef>
#include <string_view>

// A line without its terminator. The scanner is no XML parser: it finds its
// tags anywhere, in any letter case (a to z only), wherever they stand
// whole within the line.
void ProcessLine(std::string_view line);

// Byte a to z folded to A to Z; every other byte unchanged.
char FoldToUpper(char c);
// Whether `text` holds `upper` (upper-case) at `at`, with a to z folded.
bool MatchesAt(std::string_view text, size_t at, std::string_view upper);
