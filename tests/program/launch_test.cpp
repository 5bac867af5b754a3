// Whole runs that reach the form program: the stand-in takes its place in a
// setup folder that a registry file of the test names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "tests/program/run_program.h"

namespace fs = std::filesystem;

namespace {

constexpr char WorkedInput[] = FORMSPLIT_FIXTURES "/worked/batch.xml";

enum class Program { Standin, Folder };

struct LaunchRun {
    const char* Name;
    const char* ProgramFolder;  // below the test's folder, where Ormu.Exe is put
    Program Installed;
    const char* SetupFolder;  // registered, below the test's folder
    const char* Registry;     // registry text, nullptr: the one for SetupFolder
    const char* ExitCode;     // the stand-in's
    int Status;
    bool Ran;
    const char* Stderr;               // a piece of it, with <registry> for the registry file's path
    bool ChildSignalIgnored = false;  // formsplit started with SIGCHLD ignored
};

const LaunchRun LaunchRuns[] = {
    {"Ran", "ormu", Program::Standin, "ormu/", nullptr, "7", 7, true, ""},
    // An ignored SIGCHLD would have the system reap the form program and
    // lose its exit code.
    {"RanWithChildSignalIgnored", "ormu", Program::Standin, "ormu/", nullptr, "7", 7, true, "",
     true},
    {"RanToZeroWithChildSignalIgnored", "ormu", Program::Standin, "ormu/", nullptr, "0", 0, true,
     "", true},
    {"ExitCodeKeepsItsLowByte", "ormu", Program::Standin, "ormu/", nullptr, "258", 2, true, ""},
    {"SetupFolderWithBlanks", "my ormu", Program::Standin, "my ormu/", nullptr, "0", 0, true, ""},
    {"SetupFolderWithoutTrailingSlash", "ormu", Program::Standin, "ormu", nullptr, "0", 2, false,
     ""},
    {"ProgramIsAFolder", "ormu", Program::Folder, "ormu/", nullptr, "0", 2, false, ""},
    {"ValueMissing", "ormu", Program::Standin, "ormu/",
     "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n", "0", 217, false,
     "\nEREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\"\r\n"},
    {"ValueNoString", "ormu", Program::Standin, "ormu/",
     "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Ormu6]\n\"SetupPath\"=dword:00000001\n", "0", 217,
     false, "\nEREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\"\r\n"},
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
                     RunOptions{{"FORMSPLIT_REGISTRY=" + registry,
                                 "FORMSPLIT_STANDIN_RECORD=" + (folder / ".record"),
                                 std::string("FORMSPLIT_STANDIN_EXIT=") + c.ExitCode},
                                0,
                                0,
                                c.ChildSignalIgnored});

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
                         [](const testing::TestParamInfo<LaunchRun>& info) {
                             return info.param.Name;
                         });

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

    const ProgramResult result =
        RunFormsplit({base + ".xml"}, folder.Path(),
                     RunOptions{{"FORMSPLIT_REGISTRY=" + (folder / ".registry.reg"),
                                 "FORMSPLIT_STANDIN_RECORD=" + (folder / ".record")}});

    EXPECT_EQ(result.Status, 0) << result.Stderr;
    const std::string program = folder / "ormu/Ormu.Exe";
    EXPECT_EQ(ReadFile(folder / ".record"), "command line=" + program + " -i@" + base + ".Txt\n" +
                                                "argv[0]=" + program + "\n" + "argv[1]=-i@" + base +
                                                ".Txt\n" + "list file=" + base + ".Txt\n" + base +
                                                "0001.Xml exists\n" + base + "0002.Xml exists\n");
}

INSTANTIATE_TEST_SUITE_P(Launch, LaunchedProgram,
                         testing::Values("batch", "we\"ird", "back\\\"slash", "two\\\\\"slashes",
                                         "my \"quoted\" forms", "\"", "\\"));

// --- Registry files ----------------------------------------------------------

const std::string WindowsExportHeader =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Ormu6]\r\n";

// ASCII text as UTF-16LE after its mark, as the Windows registry editor
// saves its exports.
std::string Utf16LeFile(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

// The setup folder as hex(2) data of a version 5.00 file: UTF-16LE bytes
// with the terminating zero.
std::string ExpandableValue(const std::string& folder) {
    std::string list = "hex(2):";
    char byte[8];
    for (char c : folder) {
        std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
        list += byte;
    }
    return list + "00,00";
}

struct WindowsExportCase {
    const char* Name;
    std::function<std::string(const std::string& setupFolder)> Registry;
};

const WindowsExportCase WindowsExportCases[] = {
    {"Utf16LeString",
     [](const std::string& folder) {
         return Utf16LeFile(WindowsExportHeader + "\"SetupPath\"=\"" + folder + "\"\r\n");
     }},
    {"Utf16LeExpandableString",
     [](const std::string& folder) {
         return Utf16LeFile(WindowsExportHeader + "\"SetupPath\"=" + ExpandableValue(folder) +
                            "\r\n");
     }},
    {"Utf8ExpandableString",
     [](const std::string& folder) {
         return WindowsExportHeader + "\"SetupPath\"=" + ExpandableValue(folder) + "\r\n";
     }},
};

class WindowsExport : public testing::TestWithParam<WindowsExportCase> {};

// A registry file as the Windows registry editor writes it finds the form
// program.
TEST_P(WindowsExport, FindsTheFormProgram) {
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", ReadFile(WorkedInput));
    fs::create_directory(folder / "ormu");
    fs::copy_file(FORMSPLIT_STANDIN, folder / "ormu/Ormu.Exe");
    WriteFile(folder / ".registry.reg", GetParam().Registry(folder / "ormu/"));

    const ProgramResult result =
        RunFormsplit({"batch.xml"}, folder.Path(),
                     RunOptions{{"FORMSPLIT_REGISTRY=" + (folder / ".registry.reg"),
                                 "FORMSPLIT_STANDIN_EXIT=7"}});

    EXPECT_EQ(result.Status, 7) << result.Stderr;
}

INSTANTIATE_TEST_SUITE_P(Launch, WindowsExport, testing::ValuesIn(WindowsExportCases),
                         [](const testing::TestParamInfo<WindowsExportCase>& info) {
                             return info.param.Name;
                         });

struct OddRegistryCase {
    const char* Name;
    // Puts the registry file in place and gives its path.
    std::function<std::string(const ScratchFolder&)> Place;
    const char* Complaint;
};

const OddRegistryCase OddRegistryCases[] = {
    {"NamedPipeWithoutAWriter",
     [](const ScratchFolder& folder) {
         mkfifo((folder / "registry.reg").c_str(), 0644);
         return folder / "registry.reg";
     },
     "not a regular file"},
    {"EndlessDevice", [](const ScratchFolder&) { return std::string("/dev/zero"); },
     "not a regular file"},
    {"LargerThanOneMebibyte",
     [](const ScratchFolder& folder) {
         WriteFile(folder / "registry.reg", "REGEDIT4\n" + std::string(1024 * 1024, ';') + "\n");
         return folder / "registry.reg";
     },
     "larger than 1 MiB, too large for a registry file"},
};

class OddRegistryFile : public testing::TestWithParam<OddRegistryCase> {};

// Only a regular file of a bounded size is read as the registry; any other
// is said to be wrong, at once, and the form program counts as not found.
TEST_P(OddRegistryFile, IsRefusedAtOnce) {
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", ReadFile(WorkedInput));
    const std::string registry = GetParam().Place(folder);
    RunOptions options{{"FORMSPLIT_REGISTRY=" + registry}};
    options.TimeLimit = 10;
#if !defined(__SANITIZE_ADDRESS__)
    options.MemoryLimit = 512 * 1024 * 1024;
#endif

    const ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path(), options);

    EXPECT_EQ(result.Status, 2) << result.Stderr;
    EXPECT_EQ(result.Stderr, "formsplit: " + registry + ": " + GetParam().Complaint + "\n");
    EXPECT_EQ(ReadFile(folder / "batch.Txt"), "batch0001.Xml\r\nbatch0002.Xml\r\n");
}

INSTANTIATE_TEST_SUITE_P(Launch, OddRegistryFile, testing::ValuesIn(OddRegistryCases),
                         [](const testing::TestParamInfo<OddRegistryCase>& info) {
                             return info.param.Name;
                         });

}  // namespace
