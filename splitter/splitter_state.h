// The state of a split run and the four actions that write its output: the
// header lines collected before the first form, the numbered form files and
// the list file that names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text_file.h"

// The header lines, in input order. A growable list: a prolog of comments
// or a root tag whose attributes run over many lines reaches every form
// file whole.
using FEJTYPE = std::vector<std::string>;

// The stored header lines may hold at most this many bytes in all; a piece
// that would pass it ends the run as invalid input.
constexpr size_t HeaderByteLimit = 1048576;

struct SplitterStateRecord {
    FEJTYPE HeaderLines;
    size_t HeaderBytes = 0;       // the bytes of HeaderLines, for HeaderByteLimit
    bool CollectingHeader = true;
    TextFile FormFile;
    TextFile ListFile;
    bool Skipping = false;
    std::string BaseName;
    uint64_t FormCounter = 0;     // wide enough that no form file name repeats
};

extern SplitterStateRecord SplitterState;

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
