// boxreader: reads a message box that another program shows and answers it.
//
//   boxreader <caption> <output file> <time-out in ms>
//
// Waits until a visible top-level dialog with the caption exists, writes its
// caption, a line feed and its text (UTF-8) to the output file, then presses
// its OK button. Exit status: 0 done, 1 no such box within the time-out,
// 2 bad arguments or output file.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD PollInterval = 10;  // ms

// A box counts only once it is visible: until then it is still being built,
// and a click would hit a hidden button and be lost.
HWND WaitForBox(const wchar_t* caption, DWORD timeOut) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND box = FindWindowW(L"#32770", caption);
        if (box != nullptr && IsWindowVisible(box)) {
            return box;
        }
        if (GetTickCount() - start >= timeOut) {
            return nullptr;
        }
        Sleep(PollInterval);
    }
}

std::wstring WindowText(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], static_cast<int>(text.size())));
    return text;
}

BOOL CALLBACK TakeStaticText(HWND child, LPARAM found) {
    wchar_t className[16];
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Static") != 0 || GetWindowTextLengthW(child) == 0) {
        return TRUE;
    }
    *reinterpret_cast<std::wstring*>(found) = WindowText(child);
    return FALSE;
}

// The box's message: the text of its one static control that has text (the
// other one holds the icon).
std::wstring BoxMessage(HWND box) {
    std::wstring message;
    EnumChildWindows(box, TakeStaticText, reinterpret_cast<LPARAM>(&message));
    return message;
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

bool WriteRecord(const wchar_t* path, const std::wstring& caption, const std::wstring& message) {
    FILE* out = _wfopen(path, L"wb");
    if (out == nullptr) {
        return false;
    }
    const std::string record = Utf8(caption) + "\n" + Utf8(message);
    const bool written = fwrite(record.data(), 1, record.size(), out) == record.size();
    return fclose(out) == 0 && written;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) {
        fputs("usage: boxreader <caption> <output file> <time-out in ms>\n", stderr);
        return 2;
    }
    HWND box = WaitForBox(argv[1], static_cast<DWORD>(_wtoi(argv[3])));
    if (box == nullptr) {
        return 1;
    }
    if (!WriteRecord(argv[2], WindowText(box), BoxMessage(box))) {
        return 2;
    }
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return 0;
}
