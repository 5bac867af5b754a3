#include "driver/command_line.h"

namespace {

enum class Quoting { None, Double, Single };

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
}

// Reads one token starting at `p`; returns the position after it.
const char* ReadToken(const char* p, std::string& token) {
    Quoting quoting = Quoting::None;
    for (; *p != '\0'; ++p) {
        char c = *p;
        if (quoting == Quoting::None && IsSeparator(c)) break;
        if (c == '"' && quoting != Quoting::Single) {
            quoting = quoting == Quoting::Double ? Quoting::None : Quoting::Double;
        } else if (c == '\'' && quoting != Quoting::Double) {
            quoting = quoting == Quoting::Single ? Quoting::None : Quoting::Single;
        } else {
            token.push_back(c);
        }
    }
    return p;
}

}  // namespace

std::vector<std::string> SplitWithEitherQuote(const char* commandLine) {
    std::vector<std::string> tokens;
    const char* p = commandLine;
    for (;;) {
        while (IsSeparator(*p)) ++p;
        if (*p == '\0') break;
        tokens.emplace_back();
        p = ReadToken(p, tokens.back());
    }
    return tokens;
}
