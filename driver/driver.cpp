#include "driver/driver.h"

#include "driver/command_line.h"
#include "launcher/launcher.h"
#include "platform/platform.h"
#include "runtime/ascii_case.h"
#include "runtime/errors.h"
#include "runtime/process.h"
#include "runtime/text_file.h"
#include "splitter/splitter_state.h"
#include "splitter/tag_scanner.h"

std::vector<std::string> ArgumentTable;

// Laid out by hand: a line of the box a line here, cut where a byte escape ends.
// clang-format off
const char UsageText[] =
    "A program a param\xE9""terben megadott xml f\xE1""jlt feldarabolja"
    "\n\r"
    "nyomtatv\xE1""nyonk\xE9""nt k\xFC""l\xF6""n f\xE1""jlokra, \xE9""s csoportos importtal"
    "\n\r"
    "\xE1""tadja az Ormu 2006 program r\xE9""sz\xE9""re.                    "
    "\n\r"
    "Amennyiben nem tal\xE1""lhat\xF3"" az Ormu 2006-os program       "
    "\n\r"
    "2-es hibak\xF3""ddal (errorlevel) t\xE9""r vissza. Egy\xE9""b esetben "
    "\n\r"
    "a DOS \xE1""ltal visszaadott k\xF3""dot adja.                    ";
const size_t UsageTextLength = sizeof UsageText - 1;
const char UsageCaption[] = "     Inform\xE1""ci\xF3";
// clang-format on

namespace {

constexpr std::string_view ListExtension = ".Txt";
constexpr std::string_view NameTestSuffix = ".XML";

// The input file, open for reading while the read loop runs.
TextFile InputFile;

// The name ends in ".xml" in any letter case.
bool PassesNameTest(std::string_view name) {
    return name.size() >= NameTestSuffix.size() &&
           MatchesFoldedAt(name, name.size() - NameTestSuffix.size(), NameTestSuffix);
}

}  // namespace

int32_t ArgumentCount() {
    return static_cast<int32_t>(ArgumentTable.size()) - 1;
}

std::string Argument(int32_t i) {
    if (i >= 1 && i <= ArgumentCount()) return ArgumentTable[static_cast<size_t>(i)];
    return std::string();
}

void BuildArgumentTable(int argc, char** argv) {
    platform::Platform& p = platform::Current();
    std::vector<std::string> tokens;
    if (const char* commandLine = p.GetCommandLineA()) {
        tokens = SplitWithEitherQuote(commandLine);
    } else {
        tokens.assign(argv, argv + argc);
    }
    // Entry 0 is the executable's own path; the typed program name is
    // dropped. With no token at all, the table stays empty.
    ArgumentTable.clear();
    if (tokens.empty()) return;
    tokens.front() = p.GetModuleFileNameA();
    ArgumentTable = std::move(tokens);
}

void ShowUsage() {
    platform::Current().ShowMessageBox(UsageText, UsageCaption);
}

uint32_t SplitInput(std::string_view name) {
    if (!PassesNameTest(name)) return 0;
    SplitState& state =
        StartSplit(std::string(name.substr(0, name.size() - NameTestSuffix.size())));
    // The input is opened under the name as given: a file system that tells
    // letter case apart would miss "batch.xml" under "batch.Xml".
    InputFile.Bind(name);
    state.ListFile.Bind(state.BaseName + std::string(ListExtension));
    InputFile.OpenForReading();
    IoCheck();
    state.ListFile.CreateForWriting();
    IoCheck();
    SplitStream(InputFile);
    FinishFormFile();
    state.ListFile.Close();
    IoCheck();
    InputFile.Close();
    IoCheck();
    return LaunchImport(state.BaseName + std::string(ListExtension));
}

uint32_t Main() {
    if (ArgumentCount() == 0) {
        ShowUsage();
        return 0;
    }
    return SplitInput(Argument(1));
}

void RunProgram(int argc, char** argv) {
    StartRuntime();
    RunToEnd([argc, argv] {
        BuildArgumentTable(argc, argv);
        return Main();
    });
}
