#include "runtime/error_box.h"

#include <cstring>

#include "platform/platform.h"

namespace {

constexpr char Caption[] = "Error";

struct ErrorBoxBuffers {
    char Transfer[ErrorBox::TransferBufferSize];
    int TransferCount;
    char Box[ErrorBox::BoxBufferSize + 1];
    int BoxCount;
};

ErrorBoxBuffers box;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

void Show() {
    platform::Current().ShowMessageBox(box.Box, Caption);
    box.BoxCount = 0;
    box.Box[0] = '\0';
}

// Moves the transfer buffer into the box buffer; what does not fit is lost.
void PassChunkOn() {
    int n = box.TransferCount;
    if (n == 0) return;
    int k = n < ErrorBox::BoxBufferSize - box.BoxCount ? n : ErrorBox::BoxBufferSize - box.BoxCount;
    std::memcpy(box.Box + box.BoxCount, box.Transfer, static_cast<size_t>(k));
    box.BoxCount += k;
    box.Box[box.BoxCount] = '\0';
    box.TransferCount = 0;
}

// A box is shown when a paragraph ends (three line-end characters in a
// row, as a report's closing empty line gives) or the box buffer is full.
bool ShowRuleHolds() {
    if (box.BoxCount == ErrorBox::BoxBufferSize) return true;
    return box.BoxCount > 3 && IsLineEnd(box.Box[box.BoxCount - 1]) &&
           IsLineEnd(box.Box[box.BoxCount - 2]) && IsLineEnd(box.Box[box.BoxCount - 3]);
}

void Flush() {
    PassChunkOn();
    if (ShowRuleHolds()) Show();
}

}  // namespace

namespace ErrorBox {

void Write(std::string_view text) {
    for (char c : text) {
        if (box.TransferCount == TransferBufferSize) Flush();
        box.Transfer[box.TransferCount++] = c;
    }
}

void WriteLine(std::string_view text) {
    Write(text);
    Write("\r\n");
    Flush();
}

void Close() {
    Flush();
    if (box.BoxCount > 0) Show();
}

void Reset() {
    box.TransferCount = 0;
    box.BoxCount = 0;
    box.Box[0] = '\0';
}

}  // namespace ErrorBox
