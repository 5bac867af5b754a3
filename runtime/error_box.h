// ErrorBox: the channel behind the program's standard output. The program
// has no console, so text written here is shown in message boxes captioned
// "Error", a box each time a blank line ends a paragraph or 1024 characters
// have gathered.
#pragma once

#include <string_view>

namespace ErrorBox {

constexpr int TransferBufferSize = 256;
constexpr int BoxBufferSize = 1024;

void Write(std::string_view text);
void WriteLine(std::string_view text);
void Close();
// Empties both buffers (start-up).
void Reset();

}  // namespace ErrorBox
