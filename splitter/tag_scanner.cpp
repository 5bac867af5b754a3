#include "splitter/tag_scanner.h"

#include <cstring>

#include "splitter/splitter_state.h"

namespace {

// Row 0 opening tags, row 1 closing tags; columns: the root element, the
// Ormu information block, a form. The root entries stop before the ">", so
// a root tag with attributes matches too.
constexpr std::string_view TagTable[2][3] = {
    {"<NYOMTATVANYOK", "<ORMU>", "<NYOMTATVANY>"},
    {"</NYOMTATVANYOK", "</ORMU>", "</NYOMTATVANY>"},
};
constexpr int Opening = 0, Closing = 1;
constexpr int Root = 0, OrmuBlock = 1, Form = 2;

struct TagMatch {
    size_t Position;  // 1-based; 0 for no match
    int Row;
    int Column;
};

// Every tag of the table goes on from its "<", or its "</", with N or O: a
// test that passes over most other tags (a form's own fields) at once.
bool MayStartTag(std::string_view line, size_t at) {
    size_t next = at + 1;
    if (next < line.size() && line[next] == '/') ++next;
    if (next >= line.size()) return false;
    char letter = FoldToUpper(line[next]);
    return letter == 'N' || letter == 'O';
}

// The leftmost tag of the line. Every tag begins with "<" and none is the
// beginning of another, so the first "<" at which an entry matches holds
// the match, and no byte is looked at twice.
TagMatch FindTag(std::string_view line) {
    const char* data = line.data();
    size_t at = 0;
    while (at < line.size()) {
        const void* lt = std::memchr(data + at, '<', line.size() - at);
        if (lt == nullptr) break;
        at = static_cast<size_t>(static_cast<const char*>(lt) - data);
        if (!MayStartTag(line, at)) {
            ++at;
            continue;
        }
        for (int row = Opening; row <= Closing; ++row) {
            for (int column = Root; column <= Form; ++column) {
                if (MatchesAt(line, at, TagTable[row][column])) return {at + 1, row, column};
            }
        }
        ++at;
    }
    return {0, 0, 0};
}

// Finds the first ">" at or after a position that only moves forward along
// one line, so that many root tags on a line with no ">" after them still
// cost one pass.
class NextGreaterThan {
public:
    explicit NextGreaterThan(const char* lineEnd) : end_(lineEnd) {}

    const char* From(const char* from) {
        if (exhausted_) return nullptr;
        if (found_ == nullptr || found_ < from) {
            found_ = static_cast<const char*>(std::memchr(from, '>', static_cast<size_t>(end_ - from)));
            exhausted_ = found_ == nullptr;
        }
        return found_;
    }

private:
    const char* end_;
    const char* found_ = nullptr;
    bool exhausted_ = false;
};

void ActOnTag(const TagMatch& match, std::string_view head) {
    SplitterStateRecord& state = SplitterState;
    if (match.Column == Root) {
        if (match.Row == Opening) {
            AddHeaderLine(head);
        } else {
            state.Skipping = true;
        }
        return;
    }
    state.CollectingHeader = false;
    if (match.Column == OrmuBlock) {
        state.Skipping = match.Row == Opening;
    } else if (match.Row == Opening) {
        StartFormFile(head);
    } else {
        EndFormFile(head);
    }
}

}  // namespace

char FoldToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool MatchesAt(std::string_view text, size_t at, std::string_view upper) {
    if (at > text.size() || text.size() - at < upper.size()) return false;
    for (size_t i = 0; i < upper.size(); ++i) {
        if (FoldToUpper(text[at + i]) != upper[i]) return false;
    }
    return true;
}

void ProcessLine(std::string_view line) {
    NextGreaterThan greaterThan(line.data() + line.size());
    while (!line.empty()) {
        TagMatch match = FindTag(line);
        if (match.Position == 0) {
            if (!SplitterState.Skipping) EmitBodyLine(line);
            return;
        }
        size_t headLength = match.Position - 1 + TagTable[match.Row][match.Column].size();
        // An opening root tag takes its attributes, through the first ">".
        if (match.Row == Opening && match.Column == Root && headLength < line.size()) {
            if (const char* gt = greaterThan.From(line.data() + headLength)) {
                headLength = static_cast<size_t>(gt - line.data()) + 1;
            }
        }
        ActOnTag(match, line.substr(0, headLength));
        line.remove_prefix(headLength);
    }
}
