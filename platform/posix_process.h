// Locating, starting and waiting for a program on the Linux platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The arguments that the start-up code of a Windows C program makes of this
// command line: the program name up to the first blank outside double
// quotes, with the quotes dropped; then the other arguments, where 2n
// backslashes before a double quote stand for n and the quote opens or
// closes a quoted part, 2n + 1 stand for n and a literal quote, and
// backslashes before anything else stand for themselves.
std::vector<std::string> SplitProgramCommandLine(std::string_view commandLine);

// An argument in double quotes, written so that SplitProgramCommandLine
// gives it back: a double quote and the backslashes before it are escaped,
// and so are backslashes before the closing quote.
std::string QuoteProgramArgument(std::string_view argument);

}  // namespace platform
