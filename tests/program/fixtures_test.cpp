// Every folder under tests/fixtures is one split: its batch.xml is the
// input, every other file (but those starting with ".") an expected output,
// byte for byte, and nothing else may be written. With no form program
// registered the run ends with status 2 unless the folder's ".status" says
// otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/program/run_program.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FORMSPLIT_FIXTURES)) {
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Fixture : public testing::TestWithParam<std::string> {};

TEST_P(Fixture, SplitsToExactlyTheExpectedFiles) {
    std::string source = std::string(FORMSPLIT_FIXTURES) + "/" + GetParam();
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", ReadFile(source + "/batch.xml"));
    std::string statusFile = source + "/.status";
    int expectedStatus = Exists(statusFile) ? std::stoi(ReadFile(statusFile)) : 2;

    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());

    EXPECT_EQ(result.Status, expectedStatus) << result.Stderr;
    std::vector<std::string> expected = FolderEntries(source);
    EXPECT_EQ(FolderEntries(folder.Path()), expected);
    for (const std::string& name : expected) {
        if (name == "batch.xml") continue;
        EXPECT_EQ(ReadFile(folder / name), ReadFile(source + "/" + name)) << name;
    }
    std::string stderrFile = source + "/.stderr";
    if (Exists(stderrFile)) {
        EXPECT_EQ(result.Stderr, ReadFile(stderrFile));
    }
}

INSTANTIATE_TEST_SUITE_P(Batches, Fixture, testing::ValuesIn(FixtureNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
