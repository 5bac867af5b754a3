// Locating, starting and waiting for a program on the Linux platform.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The arguments that the start-up code of a Windows C program makes of this
// command line. A program is started with one command line, as on Windows,
// and the started program gets the arguments that it would get there: the
// program name up to the first blank outside double quotes, with the quotes
// dropped; then the other arguments, where 2n backslashes before a double
// quote stand for n and the quote opens or closes a quoted part, 2n + 1
// stand for n and a literal quote, and backslashes before anything else
// stand for themselves.
std::vector<std::string> SplitLikeWindowsCRuntime(std::string_view commandLine);

// An argument in double quotes, written so that SplitLikeWindowsCRuntime,
// like a Windows C program, gives it back: a double quote and the
// backslashes before it are escaped, and so are backslashes before the
// closing quote.
std::string QuoteForWindowsCRuntime(std::string_view argument);

}  // namespace platform
