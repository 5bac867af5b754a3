#pragma once

#include <string>
#include <vector>

// Splits a Windows command line into its tokens, the program's name first.
// Double quotes and apostrophes quote stretches (each inside the other is an
// ordinary byte); bytes 1 to 32 separate tokens outside quotes; a backslash
// is an ordinary byte; a quote left open is closed by the end of the line.
std::vector<std::string> SplitCommandLine(const char* commandLine);
