// The registry of the Linux platform: HKEY_CURRENT_USER and its siblings are
// read from a text file in the Windows registry-export format, for example
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Ormu6]
//   "SetupPath"="/opt/ormu/"
//
// Strings take the escapes \\ and \"; dword:, hex: and hex(n): give the other
// types, hex(1): a string as raw bytes (for one stored without its
// terminating zero). A line of hexadecimal bytes continues on the next line
// when it ends with a backslash. The text is ANSI or UTF-8 (with or without
// its mark), or UTF-16LE with its mark, as the Windows registry editor saves
// it, which is read as UTF-8. The hex(2) data of a "Windows Registry Editor
// Version 5.00" file is UTF-16LE, as that format has it, and is given as
// UTF-8: the bytes the string form of the value gives; under REGEDIT4 it is
// taken as it stands.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

struct RegistryValue {
    uint32_t Type = RegNone;
    std::string Data;  // the stored bytes, a string's terminating zero included
};

// The values of one key by name, folded to upper case; "" is the default
// value ("@" in the file).
using RegistryKeyValues = std::map<std::string, RegistryValue>;

struct RegistryExport {
    // Every key of the file by its full path ("HKEY_CURRENT_USER\..."),
    // folded to upper case: key and value names ignore letter case.
    std::map<std::string, RegistryKeyValues> Keys;
    int ErrorLine = 0;  // the line that is wrong, counted from 1; 0 when all is well
    std::string Error;  // what is wrong with it
};

// Reads the text of a registry export. A malformed text gives no keys, and
// the first line found wrong. The registry file itself must be a regular
// file of at most 1 MiB.
RegistryExport ParseRegistryExport(std::string_view text);

// Where the registry file lives: $FORMSPLIT_REGISTRY, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/formsplit/registry.reg; empty when none
// of these variables is set.
std::string RegistryFilePath();

// Letters a to z in upper case, every other byte unchanged.
std::string FoldedName(std::string_view name);

}  // namespace platform
