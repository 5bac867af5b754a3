// The state of a split run and the four actions that write its output: the
// header lines collected before the first form, the numbered form files and
// the list file that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/text_file.h"

// The header's text may hold at most this many bytes in all (line ends not
// counted); a piece that would pass it ends the run as invalid input.
constexpr size_t HeaderByteLimit = 1048576;

// The most that the block of header lines can hold: a line holds at least
// one byte of text, and two more for its line end.
constexpr size_t HeaderBlockLimit = 3 * HeaderByteLimit;

// Every field starts from the value given here: a run makes its state
// afresh with StartSplit and nowhere else.
struct SplitState {
    // The header block is reserved whole, so it never moves while it grows:
    // its pages are taken only as header text fills them.
    explicit SplitState(std::string baseName) : BaseName(std::move(baseName)) {
        HeaderLines.reserve(HeaderBlockLimit);
    }

    // The header lines, in input order, each ended by CR LF, in one block:
    // a prolog of comments or a root tag whose attributes run over many
    // lines reaches every form file whole, and the block costs its bytes
    // and two per line, whatever the shape of the lines.
    std::string HeaderLines;
    size_t HeaderBytes = 0;  // the text of HeaderLines, for HeaderByteLimit
    bool CollectingHeader = true;
    TextFile FormFile;
    TextFile ListFile;
    bool Skipping = false;
    std::string BaseName;
    uint64_t FormCounter = 0;  // wide enough that no form file name repeats
};

// The state of the run in progress. It lives until the process ends, so
// that a fatal end still writes out the files it holds open.
extern std::optional<SplitState> SplitterState;

// Makes the state of a new run, for the input `baseName` + ".Xml".
SplitState& StartSplit(std::string baseName);

extern const char FooterLine[];

void AddHeaderLine(std::string_view text);
void EmitBodyLine(std::string_view text);
void StartFormFile(std::string_view head);
void EndFormFile(std::string_view head);
// The input has ended: a form whose closing tag never came is written out
// and closed as it stands, and stays in the list file.
void FinishFormFile();

// BaseName, the number zero-padded to at least four digits, ".Xml".
std::string FormFileName(const std::string& baseName, uint64_t number);
