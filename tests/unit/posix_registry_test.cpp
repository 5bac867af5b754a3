// The registry of the Linux platform: the registry-export parser, where the
// file is looked for, and the Win32 calls over it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "launcher/launcher.h"
#include "platform/posix_registry.h"
#include "tests/scratch_folder.h"

namespace {

using platform::ParseRegistryExport;
using platform::RegistryExport;

constexpr char OrmuKey[] = "HKEY_CURRENT_USER\\SOFTWARE\\ORMU6";

// An export holding the Ormu6 key with `values` in it.
std::string OrmuExport(const std::string& values) {
    return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n" + values;
}

// An export in the newer format with the Ormu6 key and `values` in it.
std::u16string Version5Export(const std::u16string& values) {
    return u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n" +
           values;
}

std::string Version5Export(const std::string& values) {
    return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n" +
           values;
}

// Text as the Windows registry editor saves it: UTF-16LE after its mark.
std::string Utf16LeFile(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

struct WellFormed {
    const char* Name;
    std::string Text;
    const char* ValueName;  // as the program asks for it
    uint32_t Type;
    std::string Data;
};

const WellFormed WellFormedExports[] = {
    {"String", OrmuExport("\"SetupPath\"=\"/opt/ormu/\"\n"), "SetupPath", platform::RegSz,
     std::string("/opt/ormu/\0", 11)},
    {"StringEscapes", OrmuExport("\"SetupPath\"=\"C:\\\\Ormu \\\"x\\\"\\\\\"\n"), "SetupPath",
     platform::RegSz, std::string("C:\\Ormu \"x\"\\\0", 13)},
    {"EmptyString", OrmuExport("\"SetupPath\"=\"\"\n"), "SetupPath", platform::RegSz,
     std::string(1, '\0')},
    {"EscapedQuoteInName", OrmuExport("\"a\\\"b\"=\"x\"\n"), "A\"B", platform::RegSz,
     std::string("x\0", 2)},
    {"Version5HeaderWithCrLf",
     "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n\"SetupPath\"=\"/x/\"\r\n",
     "SetupPath", platform::RegSz, std::string("/x/\0", 4)},
    {"LetterCaseOfNamesIgnored",
     "REGEDIT4\n[hkey_current_user\\SOFTWARE\\ormu6]\n\"SETUPPATH\"=\"/x/\"\n", "SetupPath",
     platform::RegSz, std::string("/x/\0", 4)},
    {"CommentsBlankLinesAndIndents",
     "REGEDIT4\n; made by hand\n\n  \t\n  [HKEY_CURRENT_USER\\Software\\Ormu6]  \n  ; here\n\t\"SetupPath\" = \"/x/\"\t\n",
     "SetupPath", platform::RegSz, std::string("/x/\0", 4)},
    {"Utf8MarkBeforeHeader", "\xEF\xBB\xBF" + OrmuExport("\"SetupPath\"=\"/x/\"\n"), "SetupPath",
     platform::RegSz, std::string("/x/\0", 4)},
    {"LastLineWithoutLineEnd", OrmuExport("\"SetupPath\"=\"/x/\""), "SetupPath", platform::RegSz,
     std::string("/x/\0", 4)},
    {"LaterValueOfTheSameKeyWins",
     OrmuExport(
         "\"SetupPath\"=\"/a/\"\n[HKEY_CURRENT_USER\\Other]\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n"
         "\"SetupPath\"=\"/b/\"\n"),
     "SetupPath", platform::RegSz, std::string("/b/\0", 4)},
    {"ExpandableString", OrmuExport("\"SetupPath\"=hex(2):25,41,25,2f,00\n"), "SetupPath",
     platform::RegExpandSz, std::string("%A%/\0", 5)},
    {"RawStringWithoutZero", OrmuExport("\"SetupPath\"=hex(1):2F,78\n"), "SetupPath",
     platform::RegSz, "/x"},
    {"EmptyRawString", OrmuExport("\"SetupPath\"=hex(1):\n"), "SetupPath", platform::RegSz, ""},
    {"Dword", OrmuExport("\"SetupPath\"=dword:00000102\n"), "SetupPath", platform::RegDword,
     std::string("\x02\x01\0\0", 4)},
    {"ShortDword", OrmuExport("\"SetupPath\"=DWORD:fF\n"), "SetupPath", platform::RegDword,
     std::string("\xFF\0\0\0", 4)},
    {"BinaryOverContinuationLines",
     OrmuExport("\"SetupPath\"=hex:01,02,\\\n  03 , 4,\\\r\n  \\\n  ff\n"), "SetupPath",
     platform::RegBinary, "\x01\x02\x03\x04\xFF"},
    {"EmptyBinary", OrmuExport("\"SetupPath\"=hex:\n"), "SetupPath", platform::RegBinary, ""},
    {"OtherTypeNumber", OrmuExport("\"SetupPath\"=hex(b):01,00,00,00,00,00,00,00\n"), "SetupPath",
     11, std::string("\x01\0\0\0\0\0\0\0", 8)},
    {"DefaultValue", OrmuExport("@=\"d\"\n"), "", platform::RegSz, std::string("d\0", 2)},
    // As the Windows registry editor writes it: UTF-16LE text, read as UTF-8.
    {"Utf16LeText", Utf16LeFile(Version5Export(u"\"SetupPath\"=\"/opt/\u0151rmu/\"\r\n")),
     "SetupPath", platform::RegSz, std::string("/opt/\xC5\x91rmu/\0", 12)},
    // hex(2) of a version 5.00 file is UTF-16LE: the same bytes as the string.
    {"Version5ExpandableStringIsUtf16",
     Version5Export(
         "\"SetupPath\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,51,01,72,00,6d,00,75,00,2f,00,00,00\r\n"),
     "SetupPath", platform::RegExpandSz, std::string("/opt/\xC5\x91rmu/\0", 12)},
    {"Version5ExpandableStringInUtf16LeText",
     Utf16LeFile(Version5Export(u"\"SetupPath\"=hex(2):25,00,48,00,25,00,2f,00,\\\r\n  00,00\r\n")),
     "SetupPath", platform::RegExpandSz, std::string("%H%/\0", 5)},
    {"Version5ExpandableStringBeyondTheBasicPlane",
     Version5Export("\"SetupPath\"=hex(2):2f,00,3d,d8,00,de,00,00\r\n"), "SetupPath",
     platform::RegExpandSz, std::string("/\xF0\x9F\x98\x80\0", 6)},
    // Only hex(2) is text by that format's rule; other types stay bytes.
    {"Version5RawStringStaysBytes", Version5Export("\"SetupPath\"=hex(1):2f,78\r\n"), "SetupPath",
     platform::RegSz, "/x"},
};

class WellFormedExport : public testing::TestWithParam<WellFormed> {};

TEST_P(WellFormedExport, GivesTheValue) {
    const WellFormed& c = GetParam();

    const RegistryExport parsed = ParseRegistryExport(c.Text);

    ASSERT_EQ(parsed.ErrorLine, 0) << parsed.Error;
    ASSERT_EQ(parsed.Keys.count(OrmuKey), 1u);
    const platform::RegistryKeyValues& values = parsed.Keys.at(OrmuKey);
    const auto value = values.find(platform::FoldedName(c.ValueName));
    ASSERT_NE(value, values.end());
    EXPECT_EQ(value->second.Type, c.Type);
    EXPECT_EQ(value->second.Data, c.Data);
    EXPECT_EQ(values.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Parse, WellFormedExport, testing::ValuesIn(WellFormedExports),
                         [](const testing::TestParamInfo<WellFormed>& info) {
                             return info.param.Name;
                         });

struct Malformed {
    const char* Name;
    std::string Text;
    int Line;
    const char* Error;
};

const Malformed MalformedExports[] = {
    {"Empty", "", 1, "the file is empty"},
    {"UnknownHeader", "REGEDIT5\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n", 1,
     "the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\""},
    {"Utf16BigEndian", std::string("\xFE\xFF\0W\0i\0n\0\r\0\n", 12), 1,
     "UTF-16 big-endian text is not supported; save the file as UTF-16LE, ANSI or UTF-8"},
    {"Utf16LeWithAnOddByte", Utf16LeFile(u"REGEDIT4\r\n[x]\r\n") + "x", 3,
     "malformed UTF-16LE text: an odd number of bytes, or a surrogate without its pair"},
    {"Utf16LeWithALoneSurrogate", Utf16LeFile(u"REGEDIT4\r\n\xDC00\r\n"), 2,
     "malformed UTF-16LE text: an odd number of bytes, or a surrogate without its pair"},
    {"Utf16LeHeaderUnknown", Utf16LeFile(u"Win\r\n"), 1,
     "the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\""},
    {"Version5ExpandableStringOfOddLength", Version5Export("\"SetupPath\"=hex(2):2f,00,00\r\n"), 4,
     "hex(2) data of a version 5.00 file is UTF-16LE text: an even number of bytes, surrogates in pairs"},
    {"Version5ExpandableStringWithALoneSurrogate",
     Version5Export("\"SetupPath\"=hex(2):3d,d8,2f,00\r\n"), 4,
     "hex(2) data of a version 5.00 file is UTF-16LE text: an even number of bytes, surrogates in pairs"},
    {"ValueBeforeKey", "REGEDIT4\n\n\"SetupPath\"=\"/x/\"\n", 3,
     "a value line before the first [key] line"},
    {"KeyLineUnclosed", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6\n", 2,
     "a key line must end with ']'"},
    {"KeyDeletion", "REGEDIT4\n[-HKEY_CURRENT_USER\\Software\\Ormu6]\n", 2,
     "deleting a key is not supported"},
    {"KeyWithoutRoot", "REGEDIT4\n[Software\\Ormu6]\n", 2,
     "a key path starts with a root key such as HKEY_CURRENT_USER"},
    {"StrayText", OrmuExport("SetupPath=/x/\n"), 4,
     "expected a [key] line, a \"value\"= line, a ; comment or a blank line"},
    {"UnclosedString", OrmuExport("\"SetupPath\"=\"/x/\n\"a\"=\"b\"\n"), 4,
     "the line ends inside a quoted text"},
    {"BackslashEndsString", OrmuExport("\"SetupPath\"=\"C:\\\n"), 4,
     "the line ends inside a quoted text"},
    {"UnknownEscape", OrmuExport("\"SetupPath\"=\"C:\\Ormu\"\n"), 4,
     "unknown escape '\\O' (only \\\\ and \\\" are known)"},
    {"TextAfterString", OrmuExport("\"SetupPath\"=\"/x/\" /y/\n"), 4,
     "unexpected text after the closing quote"},
    {"UnclosedName", OrmuExport("\"SetupPath=\"/x/\n"), 4, "expected '=' after the value name"},
    {"MissingEquals", OrmuExport("\"SetupPath\" \"/x/\"\n"), 4,
     "expected '=' after the value name"},
    {"MissingData", OrmuExport("\"SetupPath\"=\n"), 4,
     "unknown value data; expected \"text\", dword:, hex: or hex(n):"},
    {"ValueDeletion", OrmuExport("\"SetupPath\"=-\n"), 4, "deleting a value is not supported"},
    {"UnknownDataForm", OrmuExport("\"SetupPath\"=qword:1\n"), 4,
     "unknown value data; expected \"text\", dword:, hex: or hex(n):"},
    {"DwordTooLong", OrmuExport("\"SetupPath\"=dword:000000001\n"), 4,
     "a dword needs 1 to 8 hexadecimal digits"},
    {"DwordEmpty", OrmuExport("\"SetupPath\"=dword:\n"), 4,
     "a dword needs 1 to 8 hexadecimal digits"},
    {"DwordBadDigit", OrmuExport("\"SetupPath\"=dword:0000000g\n"), 4,
     "a dword: 'g' is not a hexadecimal digit"},
    {"HexWithoutColon", OrmuExport("\"SetupPath\"=hex 01\n"), 4,
     "expected ':' after hex or hex(n)"},
    {"HexTypeUnclosed", OrmuExport("\"SetupPath\"=hex(2:00\n"), 4, "missing ')' after hex("},
    {"HexTypeEmpty", OrmuExport("\"SetupPath\"=hex():00\n"), 4,
     "a value type needs 1 to 8 hexadecimal digits"},
    {"HexByteTooLong", OrmuExport("\"SetupPath\"=hex:01,234\n"), 4,
     "expected a byte of one or two hexadecimal digits"},
    {"HexByteBadDigit", OrmuExport("\"SetupPath\"=hex:0z\n"), 4,
     "a byte: 'z' is not a hexadecimal digit"},
    {"HexBytesWithoutComma", OrmuExport("\"SetupPath\"=hex:01 02\n"), 4,
     "expected ',' between the bytes"},
    {"HexDoubleComma", OrmuExport("\"SetupPath\"=hex:01,,02\n"), 4,
     "expected a byte of one or two hexadecimal digits"},
    {"HexLeadingComma", OrmuExport("\"SetupPath\"=hex:,01\n"), 4,
     "expected a byte of one or two hexadecimal digits"},
    {"HexTrailingComma", OrmuExport("\"SetupPath\"=hex:01,\n"), 4, "a ',' with no byte after it"},
    {"ContinuationAtEndOfFile", OrmuExport("\"SetupPath\"=hex:01,\\\n"), 4,
     "the file ends where the continued line should go on"},
    {"ErrorOnAContinuationLine", OrmuExport("\"SetupPath\"=hex:01,\\\n  02,\\\n  x1\n"), 6,
     "a byte: 'x' is not a hexadecimal digit"},
    {"ContinuationWithoutComma", OrmuExport("\"SetupPath\"=hex:01\\\n  02\n"), 5,
     "expected ',' between the bytes"},
};

class MalformedExport : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedExport, NamesTheLineAndWhatIsWrong) {
    const Malformed& c = GetParam();

    const RegistryExport parsed = ParseRegistryExport(c.Text);

    EXPECT_EQ(parsed.ErrorLine, c.Line);
    EXPECT_EQ(parsed.Error, c.Error);
    EXPECT_TRUE(parsed.Keys.empty());
}

INSTANTIATE_TEST_SUITE_P(Parse, MalformedExport, testing::ValuesIn(MalformedExports),
                         [](const testing::TestParamInfo<Malformed>& info) {
                             return info.param.Name;
                         });

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const std::string& name, const char* value) {
        if (saved_.count(name) == 0) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old == nullptr ? std::nullopt : std::optional<std::string>(old);
        }
        if (value != nullptr) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

struct PathCase {
    const char* Name;
    const char* Registry;  // FORMSPLIT_REGISTRY, or nullptr for unset
    const char* ConfigHome;
    const char* Home;
    const char* Path;
};

const PathCase PathCases[] = {
    {"ChosenFile", "/etc/my.reg", "/cfg", "/home/u", "/etc/my.reg"},
    {"ConfigHome", nullptr, "/cfg", "/home/u", "/cfg/formsplit/registry.reg"},
    {"EmptyChoiceIsNone", "", "/cfg", "/home/u", "/cfg/formsplit/registry.reg"},
    {"Home", nullptr, nullptr, "/home/u", "/home/u/.config/formsplit/registry.reg"},
    {"EmptyConfigHomeIsNone", nullptr, "", "/home/u", "/home/u/.config/formsplit/registry.reg"},
    {"Nothing", nullptr, nullptr, nullptr, ""},
};

class RegistryFile : public testing::TestWithParam<PathCase> {};

TEST_P(RegistryFile, IsFoundThroughTheEnvironment) {
    const PathCase& c = GetParam();
    Environment environment;
    environment.Set("FORMSPLIT_REGISTRY", c.Registry);
    environment.Set("XDG_CONFIG_HOME", c.ConfigHome);
    environment.Set("HOME", c.Home);

    EXPECT_EQ(platform::RegistryFilePath(), c.Path);
}

INSTANTIATE_TEST_SUITE_P(Path, RegistryFile, testing::ValuesIn(PathCases),
                         [](const testing::TestParamInfo<PathCase>& info) {
                             return info.param.Name;
                         });

// The Win32 registry calls of the Linux platform over a registry file.
class PosixRegistry : public testing::Test {
protected:
    PosixRegistry() { environment_.Set("FORMSPLIT_REGISTRY", (folder_ / "registry.reg").c_str()); }

    std::string WriteRegistry(const std::string& text) {
        return folder_.Write("registry.reg", text);
    }

    // Opens the Ormu6 key; gives the result and what went to standard error.
    int32_t OpenOrmuKey(platform::Handle& key, std::string& complaint) {
        testing::internal::CaptureStderr();
        const int32_t result = system_.RegOpenKeyExA("Software\\Ormu6", &key);
        complaint = testing::internal::GetCapturedStderr();
        return result;
    }

    ScratchFolder folder_;
    Environment environment_;
    platform::Platform& system_ = platform::SystemPlatform();
};

TEST_F(PosixRegistry, QueriesValuesAsWin32Does) {
    WriteRegistry(OrmuExport("\"SetupPath\"=\"/x/\"\n"));
    platform::Handle key = platform::InvalidHandle;
    std::string complaint;
    ASSERT_EQ(OpenOrmuKey(key, complaint), platform::ErrorSuccess);

    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(system_.RegQueryValueExA(key, "setuppath", &type, nullptr, &size),
              platform::ErrorSuccess);
    EXPECT_EQ(type, platform::RegSz);
    EXPECT_EQ(size, 4u);

    uint8_t data[8] = {};
    size = 3;
    EXPECT_EQ(system_.RegQueryValueExA(key, "SetupPath", &type, data, &size),
              234);  // ERROR_MORE_DATA
    EXPECT_EQ(size, 4u);
    size = sizeof data;
    EXPECT_EQ(system_.RegQueryValueExA(key, "SetupPath", &type, data, &size),
              platform::ErrorSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4), std::string("/x/\0", 4));

    EXPECT_EQ(system_.RegQueryValueExA(key, "Other", &type, nullptr, &size),
              2);  // ERROR_FILE_NOT_FOUND
    system_.RegCloseKey(key);
    EXPECT_EQ(system_.RegQueryValueExA(key, "SetupPath", &type, nullptr, &size),
              6);  // ERROR_INVALID_HANDLE
    EXPECT_EQ(complaint, "");
}

struct UnopenableCase {
    const char* Name;
    std::optional<std::string> Text;  // the registry file, or none at all
    std::string Complaint;            // with <path> for the file's path
};

const UnopenableCase UnopenableCases[] = {
    {"NoFile", std::nullopt, ""},
    {"NoKey",
     std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Other]\n\"SetupPath\"=\"/x/\"\n"), ""},
    {"KeyOfAnotherRoot",
     std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Ormu6]\n\"SetupPath\"=\"/x/\"\n"), ""},
    {"MalformedFile", OrmuExport("\"SetupPath\"=\"/x/\n"),
     "formsplit: <path>:4: the line ends inside a quoted text\n"},
};

class UnopenableKey : public PosixRegistry, public testing::WithParamInterface<UnopenableCase> {};

TEST_P(UnopenableKey, CannotBeOpened) {
    const UnopenableCase& c = GetParam();
    if (c.Text) WriteRegistry(*c.Text);
    std::string complaint;
    platform::Handle key = platform::InvalidHandle;

    EXPECT_NE(OpenOrmuKey(key, complaint), platform::ErrorSuccess);

    std::string expected = c.Complaint;
    const size_t at = expected.find("<path>");
    if (at != std::string::npos) expected.replace(at, 6, folder_ / "registry.reg");
    EXPECT_EQ(complaint, expected);
}

INSTANTIATE_TEST_SUITE_P(Registry, UnopenableKey, testing::ValuesIn(UnopenableCases),
                         [](const testing::TestParamInfo<UnopenableCase>& info) {
                             return info.param.Name;
                         });

TEST_F(PosixRegistry, SaysWhyAFileThatIsThereCannotBeRead) {
    std::filesystem::create_directory(folder_ / "registry.reg");
    platform::Handle key = platform::InvalidHandle;
    std::string complaint;

    EXPECT_NE(OpenOrmuKey(key, complaint), platform::ErrorSuccess);

    EXPECT_EQ(complaint, "formsplit: " + (folder_ / "registry.reg") + ": Is a directory\n");
}

struct SetupPathCase {
    const char* Name;
    std::string Values;
    std::string SetupPath;
};

const SetupPathCase SetupPathCases[] = {
    {"String", "\"SetupPath\"=\"/opt/ormu/\"\n", "/opt/ormu/"},
    {"StringWithoutZeroLosesItsLastByte", "\"SetupPath\"=hex(1):2f,6f,70,74,2f\n", "/opt"},
    {"ExpandableStringKeepsItsReferences", "\"SetupPath\"=hex(2):25,48,4f,4d,45,25,2f,00\n",
     "%HOME%/"},
    {"StringOfSizeOne", "\"SetupPath\"=\"\"\n", ""},
};

class SetupPathFromFile : public PosixRegistry,
                          public testing::WithParamInterface<SetupPathCase> {};

TEST_P(SetupPathFromFile, IsReadByTheLauncher) {
    WriteRegistry(OrmuExport(GetParam().Values));
    platform::ScopedPlatform installed(system_);

    EXPECT_EQ(ReadSetupPath(), GetParam().SetupPath);
}

INSTANTIATE_TEST_SUITE_P(Registry, SetupPathFromFile, testing::ValuesIn(SetupPathCases),
                         [](const testing::TestParamInfo<SetupPathCase>& info) {
                             return info.param.Name;
                         });

}  // namespace
