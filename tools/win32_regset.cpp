// regset: stores a registry value below HKEY_CURRENT_USER byte for byte.
//
//   regset <key path> <value name> <type number> <data as hex digits>
//
// Unlike reg.exe or a .reg file it adds nothing to the data, so it can store
// a REG_SZ whose UTF-16 text lacks the terminating zero. The key is created
// when missing. Exit status: 0 stored, 1 the registry refused, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int HexDigit(wchar_t digit) {
    if (digit >= L'0' && digit <= L'9') return digit - L'0';
    if (digit >= L'a' && digit <= L'f') return digit - L'a' + 10;
    if (digit >= L'A' && digit <= L'F') return digit - L'A' + 10;
    return -1;
}

bool ParseHex(const wchar_t* hex, std::string& bytes) {
    const size_t length = wcslen(hex);
    if (length % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < length; i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string data;
    if (argv == nullptr || argc != 5 || !ParseHex(argv[4], data)) {
        fputs("usage: regset <key path> <value name> <type number> <data as hex digits>\n", stderr);
        return 2;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, argv[1], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    // For a string type the system counts a terminating zero that follows
    // the given bytes in memory as if the caller had forgotten it; a non-zero
    // guard after the data keeps the count exact.
    const DWORD size = static_cast<DWORD>(data.size());
    data.append("\xFF\xFF");
    const LONG result = RegSetValueExW(key, argv[2], 0, static_cast<DWORD>(_wtoi(argv[3])),
                                       reinterpret_cast<const BYTE*>(data.data()), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}
