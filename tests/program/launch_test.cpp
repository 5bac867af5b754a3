// Whole runs that reach the form program: the stand-in takes its place in a
// setup folder that a registry file of the test names.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/program/run_program.h"

namespace fs = std::filesystem;

namespace {

constexpr char WorkedInput[] = FORMSPLIT_FIXTURES "/worked/batch.xml";

enum class Program { Standin, Folder };

struct LaunchRun {
    const char* Name;
    const char* ProgramFolder;  // below the test's folder, where Ormu.Exe is put
    Program Installed;
    const char* SetupFolder;    // registered, below the test's folder
    const char* Registry;     // registry text, nullptr: the one for SetupFolder
    const char* ExitCode;     // the stand-in's
    int Status;
    bool Ran;
    const char* Stderr;       // a piece of it, with <registry> for the registry file's path
    bool ChildSignalIgnored = false;  // formsplit started with SIGCHLD ignored
};

const LaunchRun LaunchRuns[] = {
    {"Ran", "ormu", Program::Standin, "ormu/", nullptr, "7", 7, true, ""},
    // An ignored SIGCHLD would have the system reap the form program and
    // lose its exit code.
    {"RanWithChildSignalIgnored", "ormu", Program::Standin, "ormu/", nullptr, "7", 7, true, "", true},
    {"RanToZeroWithChildSignalIgnored", "ormu", Program::Standin, "ormu/", nullptr, "0", 0, true, "", true},
    {"ExitCodeKeepsItsLowByte", "ormu", Program::Standin, "ormu/", nullptr, "258", 2, true, ""},
    {"SetupFolderWithBlanks", "my ormu", Program::Standin, "my ormu/", nullptr, "0", 0, true, ""},
    {"SetupFolderWithoutTrailingSlash", "ormu", Program::Standin, "ormu", nullptr, "0", 2, false, ""},
    {"ProgramIsAFolder", "ormu", Program::Folder, "ormu/", nullptr, "0", 2, false, ""},
    {"ValueMissing", "ormu", Program::Standin, "ormu/", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n", "0", 217,
     false, "\nEREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\"\r\n"},
    {"ValueNoString", "ormu", Program::Standin, "ormu/",
     "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n\"SetupPath\"=dword:00000001\n", "0", 217, false,
     "\nEREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\"\r\n"},
    {"MalformedRegistry", "ormu", Program::Standin, "ormu/",
     "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n\"SetupPath\"=\"/x\\y/\"\n", "0", 2, false,
     "formsplit: <registry>:3: unknown escape '\\y' (only \\\\ and \\\" are known)\n"},
};

class LaunchingRun : public testing::TestWithParam<LaunchRun> {};

TEST_P(LaunchingRun, EndsWithTheExpectedStatus) {
    const LaunchRun& c = GetParam();
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", ReadFile(WorkedInput));
    const std::string programFolder = folder / c.ProgramFolder;
    fs::create_directory(programFolder);
    if (c.Installed == Program::Standin) {
        fs::copy_file(FORMSPLIT_STANDIN, programFolder + "/Ormu.Exe");
    } else {
        fs::create_directory(programFolder + "/Ormu.Exe");
    }
    const std::string registry = folder / ".registry.reg";
    WriteFile(registry, c.Registry != nullptr ? c.Registry : RegistryFor(folder / c.SetupFolder));

    const ProgramResult result =
        RunFormsplit({"batch.xml"}, folder.Path(),
                     RunOptions{{"FORMSPLIT_REGISTRY=" + registry, "FORMSPLIT_STANDIN_RECORD=" + (folder / ".record"),
                                 std::string("FORMSPLIT_STANDIN_EXIT=") + c.ExitCode},
                                0, 0, c.ChildSignalIgnored});

    EXPECT_EQ(result.Status, c.Status) << result.Stderr;
    EXPECT_EQ(Exists(folder / ".record"), c.Ran);
    std::string expectedStderr = c.Stderr;
    const size_t at = expectedStderr.find("<registry>");
    if (at != std::string::npos) expectedStderr.replace(at, 10, registry);
    EXPECT_NE(result.Stderr.find(expectedStderr), std::string::npos) << result.Stderr;
    // The split is done before the launch, whatever the launch gives.
    EXPECT_EQ(ReadFile(folder / "batch.Txt"), "batch0001.Xml\r\nbatch0002.Xml\r\n");
}

INSTANTIATE_TEST_SUITE_P(Launch, LaunchingRun, testing::ValuesIn(LaunchRuns),
                         [](const testing::TestParamInfo<LaunchRun>& info) { return info.param.Name; });

class LaunchedProgram : public testing::TestWithParam<const char*> {};

// The form program is started on the list file by its relative name, in
// the folder of the run, with every form file in place. Its argument is
// the very name of the list file, also where that name holds quotes,
// backslashes before quotes or blanks, which Linux allows in names.
TEST_P(LaunchedProgram, StartsOnTheListFileInTheFolderOfTheRun) {
    const std::string base = GetParam();
    ScratchFolder folder;
    WriteFile(folder / (base + ".xml"), ReadFile(WorkedInput));
    fs::create_directory(folder / "ormu");
    fs::copy_file(FORMSPLIT_STANDIN, folder / "ormu/Ormu.Exe");
    WriteFile(folder / ".registry.reg", RegistryFor(folder / "ormu/"));

    const ProgramResult result = RunFormsplit(
        {base + ".xml"}, folder.Path(),
        RunOptions{{"FORMSPLIT_REGISTRY=" + (folder / ".registry.reg"), "FORMSPLIT_STANDIN_RECORD=" + (folder / ".record")}});

    EXPECT_EQ(result.Status, 0) << result.Stderr;
    const std::string program = folder / "ormu/Ormu.Exe";
    EXPECT_EQ(ReadFile(folder / ".record"), "command line=" + program + " -i@" + base + ".Txt\n" +
                                                "argv[0]=" + program + "\n" +
                                                "argv[1]=-i@" + base + ".Txt\n" +
                                                "list file=" + base + ".Txt\n" +
                                                base + "0001.Xml exists\n" +
                                                base + "0002.Xml exists\n");
}

INSTANTIATE_TEST_SUITE_P(Launch, LaunchedProgram,
                         testing::Values("batch", "we\"ird", "back\\\"slash", "two\\\\\"slashes",
                                         "my \"quoted\" forms", "\"", "\\"));

}  // namespace
