// Arbitrary bytes as the input file of a whole run over the fake platform,
// with what every run must keep to, whatever it is given:
// - it ends by launching the form program, or with the report of a fatal
//   "File not open" or "Invalid input" and nothing launched;
// - the list names exactly the form files, numbered from 1 without a gap,
//   and nothing else is written;
// - every line of every file it writes ends with CR LF;
// - every line of a form file is text of the input or the footer line;
// - nothing is left open, and a second run gives the same result;
// - files, status and report are those of the line-at-a-time model
//   (tests/reference_splitter).
// Built twice: with the real load size, and with loads of a few bytes so
// that tags, line ends, 0x1A and the root tag's ">" meet load boundaries
// all the time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text_file.h"
#include "splitter/splitter_state.h"
#include "tests/reference_splitter.h"
#include "tests/run_in_process.h"

namespace {

const std::string Input = "f.xml";
const std::string BaseName = "f";
const std::string ListFile = "f.Txt";
const std::string ProgramPath = "C:\\Ormu\\Ormu.Exe";
constexpr uint32_t ProgramExitCode = 42;
constexpr uint32_t FatalStatus = 217;
constexpr uint8_t NearLoadEnd = 0xFF;

const char* const AllowedReportLines[] = {"EINOUTERROR : File not open",
                                          "EINOUTERROR : Invalid input"};

struct Outcome {
    uint32_t Status;
    std::vector<std::string> Boxes;
    std::vector<std::string> Started;
    std::map<std::string, std::string> Written;  // every file but the input and the program

    bool operator==(const Outcome& other) const {
        return Status == other.Status && Boxes == other.Boxes && Started == other.Started &&
               Written == other.Written;
    }
};

void Require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

Outcome Run(const std::string& input) {
    FakePlatform fake;
    fake.Files[Input] = input;
    fake.KeyExists = true;
    fake.Values["SetupPath"] = {platform::RegSz, std::string("C:\\Ormu\\\0", 9)};
    fake.Files[ProgramPath] = "";
    fake.ProgramExitCode = ProgramExitCode;
    fake.ListFileName = ListFile;

    Outcome outcome;
    outcome.Status = RunInProcess(fake, {"formsplit", Input});
    Require(fake.OpenHandles.empty(), "every handle is closed");
    Require(fake.Files[Input] == input, "the input is left as it was");
    for (const FakeBox& box : fake.Boxes) outcome.Boxes.push_back(box.Caption + "|" + box.Text);
    outcome.Started = fake.StartedCommandLines;
    fake.Files.erase(Input);
    fake.Files.erase(ProgramPath);
    outcome.Written = fake.Files;
    if (outcome.Status == ProgramExitCode) {
        Require(fake.ListedAtStart.size() == 1 && fake.ListedAtStart[0] == fake.Files[ListFile],
                "the list is complete when the form program starts");
    }
    return outcome;
}

// The second line of a report box.
std::string ReportLine(const std::string& box) {
    size_t start = box.find("\r\n") + 2;
    return box.substr(start, box.find("\r\n", start) - start);
}

// The model's outcome, as a run over the fake would show it.
void CheckAgainstModel(const Outcome& outcome, const std::string& input) {
    ModelOutcome model = ModelSplit(input, BaseName);
    Require(outcome.Written == model.Files, "the files are the model's");
    if (model.ErrorNumber == 0) {
        Require(outcome.Status == ProgramExitCode, "the run launches where the model's does");
        return;
    }
    Require(outcome.Status == FatalStatus, "the run fails where the model's does");
    Require(ReportLine(outcome.Boxes[0]) == ModelReportLine(model.ErrorNumber),
            "the report is the model's");
}

void CheckEnding(const Outcome& outcome) {
    if (outcome.Status == ProgramExitCode) {
        Require(outcome.Boxes.empty(), "a launch shows no box");
        Require(outcome.Started.size() == 1, "the form program is started once");
        return;
    }
    Require(outcome.Status == FatalStatus, "a run ends in a launch or a fatal error");
    Require(outcome.Boxes.size() == 1, "a fatal error shows one box");
    Require(outcome.Started.empty(), "nothing is launched after a fatal error");
    std::string line = ReportLine(outcome.Boxes[0]);
    bool allowed = false;
    for (const char* allowedLine : AllowedReportLines) allowed = allowed || line == allowedLine;
    Require(allowed, "the only fatal errors are File not open and Invalid input");
}

// The lines of a written file; each must end with CR LF and hold neither.
std::vector<std::string_view> LinesOf(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        size_t end = content.find("\r\n");
        Require(end != std::string_view::npos, "every line ends with CR LF");
        std::string_view line = content.substr(0, end);
        Require(line.find_first_of("\r\n") == std::string_view::npos, "no CR or LF inside a line");
        lines.push_back(line);
        content.remove_prefix(end + 2);
    }
    return lines;
}

void CheckFiles(const Outcome& outcome, const std::string& input) {
    auto list = outcome.Written.find(ListFile);
    Require(list != outcome.Written.end(), "the list file is created");
    std::vector<std::string_view> listed = LinesOf(list->second);
    Require(outcome.Written.size() == listed.size() + 1,
            "nothing but the list and the listed files is written");
    for (size_t i = 0; i < listed.size(); ++i) {
        Require(listed[i] == FormFileName(BaseName, i + 1),
                "form files are listed in order from 1");
        auto form = outcome.Written.find(std::string(listed[i]));
        Require(form != outcome.Written.end(), "every listed form file exists");
        for (std::string_view line : LinesOf(form->second)) {
            Require(line == FooterLine || input.find(line) != std::string::npos,
                    "a form line is input text or the footer");
        }
    }
}

// The input a run is given. Bytes that start with NearLoadEnd and a
// distance d are moved, less those two, to d bytes before the end of the
// first load of the input file, behind empty lines (which the split
// ignores): short inputs reach the edge between two loads that way.
std::string InputFrom(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    if (size < 2 || data[0] != NearLoadEnd) return input;
    return std::string(static_cast<size_t>(InputLoadSize) - data[1] % InputLoadSize, '\n') +
           input.substr(2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input = InputFrom(data, size);
    Outcome first = Run(input);
    CheckEnding(first);
    CheckFiles(first, input);
    CheckAgainstModel(first, input);
    Require(Run(input) == first, "a second run gives the same result");
    return 0;
}
