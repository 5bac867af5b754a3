#include "splitter/splitter_state.h"

#include "runtime/errors.h"

std::optional<SplitState> SplitterState;

const char FooterLine[] = "</nyomtatvanyok>";

namespace {

constexpr char FormFileExtension[] = ".Xml";
constexpr size_t FormNumberMinDigits = 4;

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

void WriteFormLine(std::string_view line) {
    SplitterState->FormFile.WriteLine(line);
    IoCheck();
}

constexpr char LineEnd[] = "\r\n";

}  // namespace

SplitState& StartSplit(std::string baseName) {
    return SplitterState.emplace(std::move(baseName));
}

std::string FormFileName(const std::string& baseName, uint64_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < FormNumberMinDigits)
        digits.insert(0, FormNumberMinDigits - digits.size(), '0');
    return baseName + digits + FormFileExtension;
}

void AddHeaderLine(std::string_view text) {
    SplitState& state = *SplitterState;
    if (!state.CollectingHeader) return;
    if (text.size() > HeaderByteLimit - state.HeaderBytes) RaiseNumberedError(ErrorInvalidInput);
    state.HeaderLines.append(text).append(LineEnd);
    state.HeaderBytes += text.size();
}

void EmitBodyLine(std::string_view text) {
    SplitState& state = *SplitterState;
    if (state.CollectingHeader) {
        AddHeaderLine(text);
        return;
    }
    // Blanks between forms, or after a closing tag on its line, are ordinary
    // in XML: they are dropped rather than written to a file that is closed.
    if (state.FormFile.Mode != TextFileMode::Writing && IsBlank(text)) return;
    // Other text outside a form goes to the form file although it is
    // closed, on purpose: the write fails, and the run ends with "File not
    // open" rather than dropping text of the batch without a word.
    WriteFormLine(text);
}

void StartFormFile(std::string_view head) {
    SplitState& state = *SplitterState;
    ++state.FormCounter;
    std::string name = FormFileName(state.BaseName, state.FormCounter);
    state.FormFile.Bind(name);
    state.FormFile.CreateForWriting();
    IoCheck();
    state.ListFile.WriteLine(name);
    IoCheck();
    state.FormFile.WriteLines(state.HeaderLines);
    IoCheck();
    WriteFormLine(head);
}

void EndFormFile(std::string_view head) {
    WriteFormLine(head);
    WriteFormLine(FooterLine);
    SplitterState->FormFile.Close();
    IoCheck();
}

void FinishFormFile() {
    TextFile& formFile = SplitterState->FormFile;
    if (formFile.Mode != TextFileMode::Writing) return;
    formFile.Close();
    IoCheck();
}
