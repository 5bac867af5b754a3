// The real executable's outcomes that a batch file sees: status, files and
// the text of the boxes (on Linux written to standard error).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/program/run_program.h"

namespace {

const std::string Worked = std::string(FORMSPLIT_FIXTURES) + "/worked";

// The report of a fatal error as standard error shows it: the caption line,
// the box text, a line end.
std::string ReportLine(const ProgramResult& result, int line) {
    size_t start = 0;
    for (int i = 0; i < line; ++i) start = result.Stderr.find('\n', start) + 1;
    return result.Stderr.substr(start, result.Stderr.find('\n', start) - start);
}

TEST(Program, WithoutAnArgumentShowsTheUsageAndEndsWithZero) {
    ScratchFolder folder;
    ProgramResult result = RunFormsplit({}, folder.Path());
    EXPECT_EQ(result.Status, 0);
    // Caption, then the six Windows-1250 lines joined by LF CR, as UTF-8.
    EXPECT_EQ(
        result.Stderr.rfind("     Információ\nA program a paraméterben megadott xml fájlt", 0), 0u);
    EXPECT_NE(
        result.Stderr.find("\n\rnyomtatványonként külön fájlokra, és csoportos importtal\n\r"),
        std::string::npos);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST(Program, AFailingNameTestEndsSilentlyAndTouchesNoFile) {
    ScratchFolder folder;
    WriteFile(folder / "batch.xm", ReadFile(Worked + "/batch.xml"));
    ProgramResult result = RunFormsplit({"batch.xm", "batch.xml"}, folder.Path());
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Stderr, "");
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"batch.xm"});
}

TEST(Program, TheInputIsOpenedUnderTheNameAsGiven) {
    ScratchFolder folder;
    WriteFile(folder / "Batch.XML", ReadFile(Worked + "/batch.xml"));
    ProgramResult result = RunFormsplit({"Batch.XML"}, folder.Path());
    EXPECT_EQ(result.Status, 2) << result.Stderr;
    EXPECT_EQ(ReadFile(folder / "Batch.Txt"), "Batch0001.Xml\r\nBatch0002.Xml\r\n");
    EXPECT_EQ(ReadFile(folder / "Batch0001.Xml"), ReadFile(Worked + "/batch0001.Xml"));
}

struct FatalCase {
    const char* Name;
    const char* Argument;
    const char* SecondLine;
};

class FatalRuns : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalRuns, ReportAndEndWith217) {
    ScratchFolder folder;
    mkdir((folder / "batch.Txt").c_str(), 0755);  // a list file that cannot be created
    mkdir((folder / ".d.xml").c_str(), 0755);
    WriteFile(folder / "batch.xml", ReadFile(Worked + "/batch.xml"));
    ProgramResult result = RunFormsplit({GetParam().Argument}, folder.Path());
    EXPECT_EQ(result.Status, 217);
    EXPECT_EQ(ReportLine(result, 0), "Error");
    std::string first = ReportLine(result, 1);
    ASSERT_EQ(first.size(), 48u) << result.Stderr;
    EXPECT_EQ(first.substr(0, 37), "An unhandled exception occurred at 0x");
    EXPECT_EQ(first.substr(45), " :\r");
    std::string address = first.substr(37, 8);
    EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(ReportLine(result, 2), std::string(GetParam().SecondLine) + "\r");
    EXPECT_EQ(ReportLine(result, 3), "  0x" + address + "\r");
    EXPECT_EQ(ReportLine(result, 4), "\r");
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"batch.Txt", "batch.xml"}));
}

INSTANTIATE_TEST_SUITE_P(
    Program, FatalRuns,
    testing::Values(
        FatalCase{"MissingInput", "missing.xml", "EINOUTERROR : File not found"},
        FatalCase{"InputInAMissingFolder", "nowhere/batch.xml", "EINOUTERROR : Invalid filename"},
        FatalCase{"ListFileCannotBeCreated", "batch.xml", "EINOUTERROR : Access denied"},
        FatalCase{"InputIsAFolder", ".d.xml", "EINOUTERROR : Access denied"}),
    [](const testing::TestParamInfo<FatalCase>& info) { return info.param.Name; });

}  // namespace
