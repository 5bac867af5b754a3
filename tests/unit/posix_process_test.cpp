// Locating, starting and waiting for a program on the Linux platform, with
// the form program's stand-in as the program.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "launcher/launcher.h"
#include "platform/posix_platform.h"
#include "platform/posix_process.h"
#include "tests/scratch_folder.h"

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
    const char* Name;
    const char* CommandLine;
    Arguments Expected;
};

const SplitCase SplitCases[] = {
    {"FormProgramCommandLine",
     "\"C:\\Ormu\\Ormu.Exe\"  -i@\"D:\\in\\forms.Txt\"",
     {"C:\\Ormu\\Ormu.Exe", "-i@D:\\in\\forms.Txt"}},
    {"BlanksInsideQuotes",
     "\"/a b/Ormu.Exe\"  -i@\"my forms.Txt\"",
     {"/a b/Ormu.Exe", "-i@my forms.Txt"}},
    {"ProgramNameKeepsBackslashBeforeQuote", "\"C:\\dir\\\" x", {"C:\\dir\\", "x"}},
    {"ProgramNameHoldingQuotes", "/a\"b c\"/Ormu.Exe  -i@\"l\"", {"/ab c/Ormu.Exe", "-i@l"}},
    {"UnquotedProgramName", "prog a\tb", {"prog", "a", "b"}},
    {"LeadingBlanks", " \t prog  x ", {"prog", "x"}},
    {"EmptyCommandLine", "", {}},
    {"BlanksOnly", " \t ", {}},
    {"BackslashesNotBeforeAQuote", "p a\\\\b c\\", {"p", "a\\\\b", "c\\"}},
    {"EvenBackslashesBeforeAQuote", "p \"a\\\\\"", {"p", "a\\"}},
    {"OddBackslashesBeforeAQuote", "p a\\\\\\\"b", {"p", "a\\\"b"}},
    {"DoubledQuoteInsideQuotes", "p \"a\"\"b\"", {"p", "a\"b"}},
    {"EmptyQuotedArgument", "p \"\" x", {"p", "", "x"}},
    {"UnclosedQuote", "p -i@\"a b", {"p", "-i@a b"}},
    {"QuotesJoinParts", "p a\"b c\"d", {"p", "ab cd"}},
};

class CommandLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, GivesTheArgumentsOfAWindowsProgram) {
    EXPECT_EQ(platform::SplitLikeWindowsCRuntime(GetParam().CommandLine), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Split, CommandLineSplit, testing::ValuesIn(SplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                             return info.param.Name;
                         });

// List-file names that Linux allows and plain quotes would not carry.
const char* const QuotedNames[] = {
    "we\"ird.Txt",  "\"leading.Txt",         "trailing\".Txt",
    "\"\".Txt",     "back\\\"slash.Txt",     "two\\\\\"slashes.Txt",
    "my forms.Txt", "tab\tand blank \".Txt", "C:\\in\\forms.Txt",
    "ends in\\",    "ends in\\\\",           "",
};

class QuotedName : public testing::TestWithParam<const char*> {};

// The form program's argument is exactly the name of the list file, after
// the whole command line has been built and split again.
TEST_P(QuotedName, SurvivesTheCommandLine) {
    const std::string name = GetParam();
    const std::string commandLine =
        BuildCommandLine("/opt/ormu/Ormu.Exe", "-i@" + platform::QuoteForWindowsCRuntime(name));

    EXPECT_EQ(platform::SplitLikeWindowsCRuntime(commandLine),
              (Arguments{"/opt/ormu/Ormu.Exe", "-i@" + name}))
        << commandLine;
}

INSTANTIATE_TEST_SUITE_P(Names, QuotedName, testing::ValuesIn(QuotedNames));

TEST(QuoteForWindowsCRuntime, LeavesANameWithoutQuotesOrBackslashesInPlainQuotes) {
    EXPECT_EQ(platform::QuoteForWindowsCRuntime("my forms.Txt"), "\"my forms.Txt\"");
    EXPECT_EQ(platform::QuoteForWindowsCRuntime("a\\b.Txt"), "\"a\\b.Txt\"");
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class PosixProcess : public testing::Test {
protected:
    // Starts the command line and waits for it: the exit code, or nullopt
    // with the Win32 error when it could not be started.
    std::optional<uint32_t> Run(const std::string& commandLine) {
        platform::ProcessInfo started;
        if (!system_.CreateProcessA(commandLine.c_str(), &started)) {
            lastError_ = system_.GetLastError();
            return std::nullopt;
        }
        EXPECT_TRUE(system_.CloseHandle(started.Thread));
        EXPECT_EQ(system_.WaitForSingleObject(started.Process), 0u);
        uint32_t code = 0xDEADBEEF;
        EXPECT_TRUE(system_.GetExitCodeProcess(started.Process, &code));
        EXPECT_TRUE(system_.CloseHandle(started.Process));
        // Closed handles are gone.
        EXPECT_FALSE(system_.CloseHandle(started.Process));
        EXPECT_EQ(system_.WaitForSingleObject(started.Process), platform::WaitFailed);
        return code;
    }

    std::string StandinCommandLine(const std::string& listName) {
        return BuildCommandLine(FORMSPLIT_STANDIN, "-i@\"" + listName + "\"");
    }

    ScratchFolder folder_;
    platform::Platform& system_ = platform::SystemPlatform();
    uint32_t lastError_ = 0;
};

class StandinExit : public PosixProcess,
                    public testing::WithParamInterface<std::pair<const char*, uint32_t>> {};

TEST_P(StandinExit, IsTheExitCode) {
    setenv("FORMSPLIT_STANDIN_EXIT", GetParam().first, 1);

    EXPECT_EQ(Run(StandinCommandLine("list.Txt")), GetParam().second);

    unsetenv("FORMSPLIT_STANDIN_EXIT");
}

// Linux keeps the low byte of an exit code only.
INSTANTIATE_TEST_SUITE_P(Codes, StandinExit,
                         testing::Values(std::pair{"0", 0u}, std::pair{"1", 1u}, std::pair{"2", 2u},
                                         std::pair{"255", 255u}, std::pair{"258", 2u}));

class KilledChild : public PosixProcess,
                    public testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(KilledChild, EndsWith128AndTheSignal) {
    const std::string commandLine =
        std::string("\"/bin/sh\"  -c \"kill -") + GetParam().first + " $$\"";

    EXPECT_EQ(Run(commandLine), 128u + static_cast<uint32_t>(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(Signals, KilledChild,
                         testing::Values(std::pair{"TERM", SIGTERM}, std::pair{"KILL", SIGKILL},
                                         std::pair{"HUP", SIGHUP}));

TEST_F(PosixProcess, CannotStartWhatIsNoProgram) {
    std::filesystem::create_directory(folder_ / "Ormu.Exe");
    folder_.Write("text.Exe", "not a program");

    EXPECT_EQ(Run(BuildCommandLine(folder_ / "Ormu.Exe", "-i@\"l\"")), std::nullopt);
    EXPECT_EQ(lastError_, platform::ErrorAccessDenied);
    EXPECT_EQ(Run(BuildCommandLine(folder_ / "missing.Exe", "-i@\"l\"")), std::nullopt);
    EXPECT_EQ(lastError_, platform::ErrorFileNotFound);
    EXPECT_EQ(Run(BuildCommandLine(folder_ / "text.Exe", "-i@\"l\"")), std::nullopt);
    EXPECT_EQ(lastError_, platform::ErrorAccessDenied);
}

// The program gets its arguments as a Windows program would, and this
// process's current directory and environment, so a relative list-file name
// names the same file for both.
TEST_F(PosixProcess, StartsTheProgramInTheSameFolderWithTheListFile) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder_.Path());
    folder_.Write("my forms.Txt", "my forms0001.Xml\r\nmy forms0002.Xml\r\n");
    folder_.Write("my forms0001.Xml", "");
    setenv("FORMSPLIT_STANDIN_RECORD", (folder_ / "record").c_str(), 1);

    const std::optional<uint32_t> status = Run(StandinCommandLine("my forms.Txt"));

    unsetenv("FORMSPLIT_STANDIN_RECORD");
    std::filesystem::current_path(before);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(ReadWhole(folder_ / "record"), std::string("command line=") + FORMSPLIT_STANDIN +
                                                 " -i@my forms.Txt\n"
                                                 "argv[0]=" FORMSPLIT_STANDIN
                                                 "\n"
                                                 "argv[1]=-i@my forms.Txt\n"
                                                 "list file=my forms.Txt\n"
                                                 "my forms0001.Xml exists\n"
                                                 "my forms0002.Xml missing\n");
}

TEST_F(PosixProcess, FindsEntriesOfEveryKind) {
    folder_.Write("file", "");
    std::filesystem::create_directory(folder_ / "folder");
    std::filesystem::create_symlink(folder_ / "nowhere", folder_ / "dangling");
    const std::string deep = folder_ / (std::string(200, 'd') + "/" + std::string(200, 'e'));
    std::filesystem::create_directories(deep);

    for (const std::string& name :
         {folder_ / "file", folder_ / "folder", folder_ / "dangling", deep}) {
        const platform::Handle search = system_.FindFirstFileA(name.c_str());
        EXPECT_NE(search, platform::InvalidHandle) << name;
        system_.FindClose(search);
    }
    EXPECT_EQ(system_.FindFirstFileA((folder_ / "missing").c_str()), platform::InvalidHandle);
    EXPECT_EQ(system_.GetLastError(), platform::ErrorFileNotFound);
}

}  // namespace
