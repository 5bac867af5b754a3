#pragma once

#include <string>
#include <vector>

// Splits a Windows command line into its tokens, the program's name first.
// Double quotes and apostrophes quote stretches (each inside the other is an
// ordinary byte); bytes 1 to 32 separate tokens outside quotes; a backslash
// is an ordinary byte; a quote left open is closed by the end of the line.
// These are not the rules of a Windows C program (which has backslash
// escapes and no apostrophes): they are the earlier tool's, kept so that
// the shortcuts and batch files written for it pass the same argument.
std::vector<std::string> SplitWithEitherQuote(const char* commandLine);
