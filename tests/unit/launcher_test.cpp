// The import launcher over the fake platform: the command line it builds,
// and every way out of LaunchImport.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "launcher/launcher.h"
#include "runtime/errors.h"
#include "tests/fake_platform.h"
#include "tests/run_in_process.h"

namespace {

constexpr char SetupValue[] = "SetupPath";
constexpr char ListName[] = "D:\\in\\forms.Txt";
constexpr bool WithoutTerminatingZero = false;

FakeRegistryValue StringValue(uint32_t type, std::string text, bool terminated = true) {
    if (terminated) text += '\0';
    return {type, text};
}

// How a LaunchImport ended: the status it gave for the process to end with,
// or the error it raised.
struct LaunchOutcome {
    std::optional<uint32_t> Status;
    std::string ErrorKind;
    std::string ErrorMessage;
};

LaunchOutcome Launch(FakePlatform& fake, std::string_view listName = ListName) {
    platform::ScopedPlatform installed(fake);
    LaunchOutcome outcome;
    try {
        outcome.Status = LaunchImport(listName);
    } catch (const FatalError& error) {
        outcome.ErrorKind = error.KindName;
        outcome.ErrorMessage = error.Message;
    }
    return outcome;
}

// A registry and file system in which the form program is found.
void InstallFormProgram(FakePlatform& fake, const std::string& setupFolder) {
    fake.KeyExists = true;
    fake.Values[SetupValue] = StringValue(platform::RegSz, setupFolder);
    fake.Files[setupFolder + "Ormu.Exe"] = "";
}

TEST(BuildCommandLine, GivesTheFortyBytesOfTheExample) {
    const std::string commandLine =
        BuildCommandLine("C:\\Ormu\\Ormu.Exe", "-i@\"D:\\in\\forms.Txt\"");

    EXPECT_EQ(commandLine, "\"C:\\Ormu\\Ormu.Exe\"  -i@\"D:\\in\\forms.Txt\"");
    EXPECT_EQ(commandLine.size(), 40u);
}

TEST(BuildCommandLine, LeavesAPathHoldingAQuoteAsItIs) {
    EXPECT_EQ(BuildCommandLine("C:\\\"Ormu\"\\Ormu.Exe", "-i@\"a.Txt\""),
              "C:\\\"Ormu\"\\Ormu.Exe  -i@\"a.Txt\"");
}

// Long program paths and list names reach the program whole: the path in
// both its quotes, the parameter text with its closing quote.
struct LongNames {
    size_t ProgramPathBytes;
    size_t ListNameBytes;
};

class LongNamesLaunch : public testing::TestWithParam<LongNames> {};

TEST_P(LongNamesLaunch, AreNeverCut) {
    const std::string programPath = std::string(GetParam().ProgramPathBytes - 8, 'p') + "Ormu.Exe";
    const std::string listName = std::string(GetParam().ListNameBytes - 4, 'l') + ".Txt";
    FakePlatform fake;
    InstallFormProgram(fake, programPath.substr(0, programPath.size() - 8));

    EXPECT_EQ(Launch(fake, listName).Status, 0u);

    ASSERT_EQ(fake.StartedCommandLines.size(), 1u);
    EXPECT_EQ(fake.StartedCommandLines[0], "\"" + programPath + "\"  -i@\"" + listName + "\"");
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongNamesLaunch,
                         testing::Values(LongNames{253, 250}, LongNames{254, 251},
                                         LongNames{255, 255}, LongNames{256, 300},
                                         LongNames{300, 250}),
                         [](const testing::TestParamInfo<LongNames>& info) {
                             return "Path" + std::to_string(info.param.ProgramPathBytes) + "List" +
                                    std::to_string(info.param.ListNameBytes);
                         });

// One way out of LaunchImport: how registry, files and program are set up,
// and how the launch must end.
struct LaunchCase {
    const char* Name;
    bool KeyExists;
    std::optional<FakeRegistryValue> Value;
    std::vector<std::string> Files;        // entries that exist as files
    std::vector<std::string> Directories;  // entries that exist as folders
    const char* FailingCall;               // a platform call that fails the first time, or nullptr
    uint32_t ProgramExitCode;
    bool WaitFails;
    // The expected end: a status, or a registry error with this message.
    std::optional<uint32_t> Status;
    const char* ErrorMessage;
    std::optional<std::string> CommandLine;  // of the program started, if any
    const char* SearchedPath;                // given to the existence test, if it runs
};

constexpr char OrmuFolder[] = "C:\\Ormu\\";
constexpr char OrmuProgram[] = "C:\\Ormu\\Ormu.Exe";
const std::string OrmuCommandLine = "\"C:\\Ormu\\Ormu.Exe\"  -i@\"D:\\in\\forms.Txt\"";
constexpr char InvalidType[] = "Invalid registry data type: \"SetupPath\"";
constexpr char NoData[] = "Failed to get data for value \"SetupPath\"";
const FakeRegistryValue OrmuValue = StringValue(platform::RegSz, OrmuFolder);

LaunchCase Started(const char* name, uint32_t exitCode, uint32_t status) {
    return {name,  true,   OrmuValue, {OrmuProgram},   {},         nullptr, exitCode,
            false, status, nullptr,   OrmuCommandLine, OrmuProgram};
}

LaunchCase RegistryError(const char* name, std::optional<FakeRegistryValue> value,
                         const char* message, const char* failingCall = nullptr) {
    return {name, true,  value,        {OrmuProgram}, {},           failingCall,
            0,    false, std::nullopt, message,       std::nullopt, nullptr};
}

LaunchCase NotLocated(const char* name, bool keyExists, std::optional<FakeRegistryValue> value,
                      const char* searchedPath, const char* failingCall = nullptr) {
    return {name,         keyExists,   value, {OrmuProgram},         {},
            failingCall,  0,           false, ProgramNotFoundStatus, nullptr,
            std::nullopt, searchedPath};
}

const LaunchCase LaunchCases[] = {
    NotLocated("KeyMissing", false, OrmuValue, nullptr),
    NotLocated("KeyRefused", true, OrmuValue, nullptr, "RegOpenKeyExA"),
    NotLocated("StringOfSizeZero", true, FakeRegistryValue{platform::RegSz, ""}, nullptr),
    NotLocated("StringOfSizeOne", true, StringValue(platform::RegSz, ""), nullptr),
    NotLocated("ExpandableStringOfSizeOne", true, StringValue(platform::RegExpandSz, ""), nullptr),
    NotLocated("FolderWithoutTrailingBackslash", true, StringValue(platform::RegSz, "C:\\Ormu"),
               "C:\\OrmuOrmu.Exe"),
    NotLocated("StringWithoutTerminatingZeroLosesItsLastByte", true,
               StringValue(platform::RegSz, OrmuFolder, WithoutTerminatingZero),
               "C:\\OrmuOrmu.Exe"),
    NotLocated("ExpandableStringIsNotExpanded", true,
               StringValue(platform::RegExpandSz, "%ProgramFiles%\\Ormu\\"),
               "%ProgramFiles%\\Ormu\\Ormu.Exe"),
    NotLocated("ProgramMissing", true, StringValue(platform::RegSz, "C:\\Other\\"),
               "C:\\Other\\Ormu.Exe"),
    {"ExpandableStringUsedWithItsPercentSigns",
     true,
     StringValue(platform::RegExpandSz, "%ORMU%\\"),
     {"%ORMU%\\Ormu.Exe"},
     {},
     nullptr,
     7,
     false,
     7u,
     nullptr,
     "\"%ORMU%\\Ormu.Exe\"  -i@\"D:\\in\\forms.Txt\"",
     "%ORMU%\\Ormu.Exe"},
    // A folder named like the program passes the existence test and then
    // cannot be started.
    {"ProgramIsAFolder",
     true,
     OrmuValue,
     {},
     {OrmuProgram},
     "CreateProcessA",
     0,
     false,
     ProgramNotFoundStatus,
     nullptr,
     OrmuCommandLine,
     OrmuProgram},
    RegistryError("ValueMissing", std::nullopt, InvalidType),
    RegistryError("Dword", FakeRegistryValue{platform::RegDword, std::string("\x01\0\0\0", 4)},
                  InvalidType),
    RegistryError("Binary", FakeRegistryValue{platform::RegBinary, "C:\\Ormu\\"}, InvalidType),
    RegistryError("TypeAndSizeUnknown", OrmuValue, InvalidType, "RegQueryValueExA"),
    Started("ExitCodeZero", 0, 0),
    Started("ExitCodeOne", 1, 1),
    Started("ExitCodeTwo", 2, 2),
    Started("ExitCode255", 255, 255),
    Started("ExitCode256PassedWhole", 256, 256),
    Started("ExitCode258PassedWhole", 258, 258),
    Started("ExitCodeAllOnes", 0xFFFFFFFF, 0xFFFFFFFF),
    {"WaitFails",
     true,
     OrmuValue,
     {OrmuProgram},
     {},
     nullptr,
     3,
     true,
     WaitFailedStatus,
     nullptr,
     OrmuCommandLine,
     OrmuProgram},
    {"ExitCodeUnreadable",
     true,
     OrmuValue,
     {OrmuProgram},
     {},
     "GetExitCodeProcess",
     3,
     false,
     WaitFailedStatus,
     nullptr,
     OrmuCommandLine,
     OrmuProgram},
};

class WayOut : public testing::TestWithParam<LaunchCase> {};

TEST_P(WayOut, EndsAsExpected) {
    const LaunchCase& c = GetParam();
    FakePlatform fake;
    fake.KeyExists = c.KeyExists;
    if (c.Value) fake.Values[SetupValue] = *c.Value;
    for (const std::string& file : c.Files) fake.Files[file] = "";
    fake.Directories.insert(c.Directories.begin(), c.Directories.end());
    if (c.FailingCall != nullptr) fake.FailCall(c.FailingCall, 1, platform::ErrorAccessDenied);
    fake.ProgramExitCode = c.ProgramExitCode;
    fake.WaitFails = c.WaitFails;

    const LaunchOutcome outcome = Launch(fake);

    EXPECT_EQ(outcome.Status, c.Status);
    if (c.ErrorMessage != nullptr) {
        EXPECT_EQ(outcome.ErrorKind, "EREGISTRYEXCEPTION");
        EXPECT_EQ(outcome.ErrorMessage, c.ErrorMessage);
    } else {
        EXPECT_EQ(outcome.ErrorKind, "");
    }
    const std::vector<std::string> started =
        c.CommandLine ? std::vector<std::string>{*c.CommandLine} : std::vector<std::string>{};
    EXPECT_EQ(fake.StartedCommandLines, started);
    const bool searched = c.SearchedPath != nullptr &&
                          std::count(fake.Log.begin(), fake.Log.end(),
                                     std::string("FindFirstFileA ") + c.SearchedPath) == 1;
    EXPECT_EQ(searched, c.SearchedPath != nullptr);
    // The key, the search and the program's handles are all closed again,
    // and the key was opened below HKEY_CURRENT_USER without the root's
    // backslash.
    EXPECT_TRUE(fake.OpenHandles.empty());
    EXPECT_EQ(fake.Log.front(), "RegOpenKeyExA Software\\Ormu6");
}

INSTANTIATE_TEST_SUITE_P(LaunchImport, WayOut, testing::ValuesIn(LaunchCases),
                         [](const testing::TestParamInfo<LaunchCase>& info) {
                             return info.param.Name;
                         });

TEST(ReadSetupPath, ClosesTheKeyWhenTheDataCannotBeRead) {
    FakePlatform fake;
    InstallFormProgram(fake, OrmuFolder);
    fake.FailCall("RegQueryValueExA", 2, platform::ErrorAccessDenied);

    const LaunchOutcome outcome = Launch(fake);

    EXPECT_EQ(outcome.ErrorKind, "EREGISTRYEXCEPTION");
    EXPECT_EQ(outcome.ErrorMessage, NoData);
    EXPECT_TRUE(fake.OpenHandles.empty());
    EXPECT_EQ(std::count(fake.Log.begin(), fake.Log.end(), "RegCloseKey"), 1);
    EXPECT_TRUE(fake.StartedCommandLines.empty());
}

TEST(RunAndWait, ClosesTheThreadAtOnceAndTheProcessAfterTheExitCode) {
    FakePlatform fake;
    platform::ScopedPlatform installed(fake);
    fake.ProgramExitCode = 5;

    EXPECT_EQ(RunAndWait("\"C:\\Ormu\\Ormu.Exe\"  -i@\"a.Txt\""), 5u);

    EXPECT_EQ(fake.CallsOfKind["CloseHandle"], 2);
    EXPECT_TRUE(fake.OpenHandles.empty());
}

// A whole run of the program: the registry error reaches the report of
// unhandled errors and ends the run with 217.
TEST(LaunchImportInARun, ReportsAMissingValueAndEndsWith217) {
    FakePlatform fake;
    fake.Files["batch.xml"] =
        "<?xml version=\"1.0\"?>\r\n<nyomtatvanyok>\r\n<nyomtatvany>\r\n</nyomtatvany>\r\n</nyomtatvanyok>\r\n";
    fake.KeyExists = true;

    EXPECT_EQ(RunInProcess(fake, {"formsplit", "batch.xml"}), 217u);

    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Caption, "Error");
    const std::string& text = fake.Boxes[0].Text;
    EXPECT_NE(text.find("\r\nEREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\"\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
    EXPECT_TRUE(fake.StartedCommandLines.empty());
}

}  // namespace
