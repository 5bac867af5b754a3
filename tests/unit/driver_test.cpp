// Whole runs of the program over the fake platform: the choice between the
// usage message and a split, the name test, and the files of the run.
#include <gtest/gtest.h>

#include "driver/driver.h"
#include "runtime/process.h"
#include "tests/run_in_process.h"

namespace {

const std::string WorkedInput =
    "<?xml version='1.0'?>\r\n<nyomtatvanyok>\r\n<nyomtatvany>\r\n<a/>\r\n</nyomtatvany>\r\n</nyomtatvanyok>\r\n";

TEST(UsageText, IsTheExactWindows1250Text) {
    std::string expected =
        "A program a param\xE9terben megadott xml f\xE1jlt feldarabolja\n\r"
        "nyomtatv\xE1nyonk\xE9nt k\xFCl\xF6n f\xE1jlokra, \xE9s csoportos importtal\n\r"
        "\xE1tadja az Ormu 2006 program r\xE9sz\xE9re." +
        std::string(20, ' ') +
        "\n\r"
        "Amennyiben nem tal\xE1lhat\xF3 az Ormu 2006-os program" +
        std::string(7, ' ') +
        "\n\r"
        "2-es hibak\xF3"
        "ddal (errorlevel) t\xE9r vissza. Egy\xE9"
        "b esetben \n\r"
        "a DOS \xE1ltal visszaadott k\xF3"
        "dot adja." +
        std::string(20, ' ');
    EXPECT_EQ(std::string(UsageText, UsageTextLength), expected);
    EXPECT_EQ(UsageTextLength, 343u);
    EXPECT_EQ(std::string(UsageCaption),
              "     Inform\xE1"
              "ci\xF3");
    EXPECT_EQ(std::string(UsageCaption).size(), 15u);
}

TEST(Driver, WithoutAnArgumentShowsTheUsageAndEndsWithZero) {
    FakePlatform fake;
    EXPECT_EQ(RunInProcess(fake, {"formsplit"}), 0u);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_EQ(fake.Boxes[0].Text, std::string(UsageText));
    EXPECT_EQ(fake.Boxes[0].Caption, std::string(UsageCaption));
    EXPECT_EQ(fake.CallsOfKind["CreateFileA"], 0);
}

TEST(Driver, ACommandLineWithNoTokenEndsSilently) {
    FakePlatform fake;
    fake.CommandLine = "";
    EXPECT_EQ(RunInProcess(fake, {}), 0u);
    EXPECT_EQ(ArgumentCount(), -1);
    EXPECT_TRUE(fake.Boxes.empty());
    EXPECT_EQ(fake.CallsOfKind["CreateFileA"], 0);
}

TEST(Driver, TheWindowsCommandLineIsSplitAndOnlyTheFirstArgumentUsed) {
    FakePlatform fake;
    fake.CommandLine = "\"C:\\x\\formsplit.exe\"  \"my batch.xml\" other.xml";
    fake.Files["my batch.xml"] = WorkedInput;
    EXPECT_EQ(RunInProcess(fake, {"ignored"}), 2u);
    EXPECT_EQ(ArgumentTable[0], "formsplit");  // the module's own path
    EXPECT_EQ(Argument(1), "my batch.xml");
    EXPECT_EQ(Argument(2), "other.xml");
    EXPECT_EQ(Argument(3), "");
    EXPECT_EQ(fake.Files["my batch.Txt"], "my batch0001.Xml\r\n");
}

struct NameCase {
    const char* Argument;
    bool Passes;
    const char* ListFile;
};

class NameTest : public testing::TestWithParam<NameCase> {};

TEST_P(NameTest, DecidesBetweenASplitAndASilentEnd) {
    FakePlatform fake;
    fake.Files[GetParam().Argument] = WorkedInput;
    uint32_t status = RunInProcess(fake, {"formsplit", GetParam().Argument});
    if (GetParam().Passes) {
        EXPECT_EQ(status, 2u);  // split, then no form program registered
        EXPECT_EQ(fake.Files.count(GetParam().ListFile), 1u);
    } else {
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(fake.Calls, 0);
        EXPECT_EQ(fake.Files.size(), 1u);
    }
    EXPECT_TRUE(fake.Boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Driver, NameTest,
                         testing::Values(NameCase{"batch.xml", true, "batch.Txt"},
                                         NameCase{"batch.XML", true, "batch.Txt"},
                                         NameCase{"batch.XmL", true, "batch.Txt"},
                                         NameCase{"dir/b.xml", true, "dir/b.Txt"},
                                         NameCase{".xml", true, ".Txt"},
                                         NameCase{"batch.xm", false, ""},
                                         NameCase{"batch.xmlx", false, ""},
                                         NameCase{"xml", false, ""}, NameCase{"", false, ""},
                                         NameCase{"batch.\xD8ML", false, ""}));

// SplitInput gives every planned end back as a status, for the top of the
// program to end the process with; it never ends the process itself.
struct ReturnCase {
    const char* Name;
    bool ProgramRegistered;
    uint32_t Status;
};

class SplitInputReturns : public testing::TestWithParam<ReturnCase> {};

TEST_P(SplitInputReturns, TheStatusInsteadOfEndingTheProcess) {
    FakePlatform fake;
    platform::ScopedPlatform scoped(fake);
    StartRuntime();
    fake.Files["batch.xml"] = WorkedInput;
    fake.Files["batch.txt"] = WorkedInput;
    if (GetParam().ProgramRegistered) {
        fake.KeyExists = true;
        fake.Values["SetupPath"] = {platform::RegSz, std::string("C:\\Ormu\\") + '\0'};
        fake.Files["C:\\Ormu\\Ormu.Exe"] = "";
        fake.ProgramExitCode = 5;
    }
    uint32_t status = 0;
    EXPECT_NO_THROW(status = SplitInput(GetParam().Name));
    EXPECT_EQ(status, GetParam().Status);
}

INSTANTIATE_TEST_SUITE_P(Driver, SplitInputReturns,
                         testing::Values(ReturnCase{"batch.txt", true, 0},   // fails the name test
                                         ReturnCase{"batch.xml", false, 2},  // no form program
                                         ReturnCase{"batch.xml", true,
                                                    5}));  // the program's own code

TEST(Driver, AMissingInputIsReportedAndCreatesNoListFile) {
    FakePlatform fake;
    EXPECT_EQ(RunInProcess(fake, {"formsplit", "batch.xml"}), 217u);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_NE(fake.Boxes[0].Text.find("\r\nEINOUTERROR : File not found\r\n"), std::string::npos);
    EXPECT_EQ(fake.Files.count("batch.Txt"), 0u);
    EXPECT_TRUE(fake.StartedCommandLines.empty());
}

TEST(Driver, AListFileThatCannotBeCreatedIsAccessDenied) {
    FakePlatform fake;
    fake.Files["batch.xml"] = WorkedInput;
    fake.ReadOnlyFiles.insert("batch.Txt");
    EXPECT_EQ(RunInProcess(fake, {"formsplit", "batch.xml"}), 217u);
    ASSERT_EQ(fake.Boxes.size(), 1u);
    EXPECT_NE(fake.Boxes[0].Text.find("\r\nEINOUTERROR : Access denied\r\n"), std::string::npos);
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST(Driver, AnEmptyInputGivesAnEmptyListAndStillLaunches) {
    FakePlatform fake;
    fake.Files["batch.xml"] = "";
    fake.KeyExists = true;
    fake.Values["SetupPath"] = {platform::RegSz, std::string("C:\\Ormu\\\0", 9)};
    fake.Files["C:\\Ormu\\Ormu.Exe"] = "";
    fake.ProgramExitCode = 7;
    EXPECT_EQ(RunInProcess(fake, {"formsplit", "batch.xml"}), 7u);
    EXPECT_EQ(fake.Files["batch.Txt"], "");
    ASSERT_EQ(fake.StartedCommandLines.size(), 1u);
    EXPECT_EQ(fake.StartedCommandLines[0], "\"C:\\Ormu\\Ormu.Exe\"  -i@\"batch.Txt\"");
}

TEST(Driver, AnEndOfFileMarkAtALineStartEndsTheInput) {
    FakePlatform fake;
    fake.Files["b.xml"] =
        "<nyomtatvanyok>\r\n<nyomtatvany>\r\nkept\r\n\x1A</nyomtatvany>\r\nnever read\r\n";
    EXPECT_EQ(RunInProcess(fake, {"formsplit", "b.xml"}), 2u);
    EXPECT_EQ(fake.Files["b0001.Xml"], "<nyomtatvanyok>\r\n<nyomtatvany>\r\nkept\r\n");
    EXPECT_TRUE(fake.OpenHandles.empty());
}

}  // namespace
