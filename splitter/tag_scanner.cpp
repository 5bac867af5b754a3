#include "splitter/tag_scanner.h"

#include <algorithm>
#include <cstdint>

#include "runtime/ascii_case.h"
#include "runtime/errors.h"
#include "splitter/byte_search.h"
#include "splitter/splitter_state.h"

namespace {

enum class TagSide { Opening, Closing };
enum class TagElement { Root, OrmuBlock, Form };

struct Tag {
    std::string_view Text;  // upper case, matched with a to z folded
    TagSide Side;
    TagElement Element;
};

// The six tags that matter, opening ones first. The root entries stop
// before the ">", so a root tag with attributes matches too.
constexpr Tag TagTable[] = {
    {"<NYOMTATVANYOK", TagSide::Opening, TagElement::Root},
    {"<ORMU>", TagSide::Opening, TagElement::OrmuBlock},
    {"<NYOMTATVANY>", TagSide::Opening, TagElement::Form},
    {"</NYOMTATVANYOK", TagSide::Closing, TagElement::Root},
    {"</ORMU>", TagSide::Closing, TagElement::OrmuBlock},
    {"</NYOMTATVANY>", TagSide::Closing, TagElement::Form},
};
constexpr const Tag& OpeningRootTag = TagTable[0];
constexpr size_t LongestTag = 15;

constexpr char CR = '\r';
constexpr char LF = '\n';

enum class Lookup { None, Found, NeedMore };

// Whether the "<" at `at` is followed by bytes that no tag of the table has
// there: neither N nor O, nor "/" and N or O, in either letter case. The
// quick test that passes over a form's own fields; with fewer than three
// bytes it cannot tell, and the table decides.
bool SurelyNoTag(std::string_view text, size_t at) {
    if (text.size() - at < 3) return false;
    char next = text[at + 1] == '/' ? text[at + 2] : text[at + 1];
    char folded = static_cast<char>(next | 0x20);
    return folded != 'n' && folded != 'o';
}

// Which tag `text`, from a "<" on, begins with. When it holds fewer bytes
// than a tag that it begins like, the answer waits for more data; at the
// end of the data such a tag is none. None of the six entries is the
// beginning of another, so at most one matches.
Lookup LookUpTag(std::string_view text, bool dataEnded, const Tag** match) {
    if (SurelyNoTag(text, 0)) return Lookup::None;
    bool cutShort = false;
    for (const Tag& tag : TagTable) {
        size_t n = std::min(tag.Text.size(), text.size());
        if (!MatchesFoldedAt(text.substr(0, n), 0, tag.Text.substr(0, n))) continue;
        if (n == tag.Text.size()) {
            *match = &tag;
            return Lookup::Found;
        }
        cutShort = true;
    }
    return cutShort && !dataEnded ? Lookup::NeedMore : Lookup::None;
}

void ActOnTag(const Tag& tag, std::string_view head) {
    SplitState& state = *SplitterState;
    bool opening = tag.Side == TagSide::Opening;
    if (tag.Element == TagElement::Root) {
        if (opening) {
            AddHeaderLine(head);
        } else {
            state.Skipping = true;
        }
        return;
    }
    state.CollectingHeader = false;
    if (tag.Element == TagElement::OrmuBlock) {
        state.Skipping = opening;
    } else if (opening) {
        StartFormFile(head);
    } else {
        EndFormFile(head);
    }
}

// Whether a line without a tag goes to the open form file as it stands.
bool BodyGoesToFormFile() {
    const SplitState& state = *SplitterState;
    return !state.Skipping && !state.CollectingHeader &&
           state.FormFile.Mode == TextFileMode::Writing;
}

// Walks the loaded input. A stretch of text takes its fate from what ends
// it (a tag or the end of its line), so it stays loaded until then: memory
// grows with the longest stretch, not with the line. Whole lines for the
// open form file that end in CR LF leave as they came, many at a time.
//
// Positions are offsets into the window of loaded bytes. A load releases
// the bytes before the stretch, which moves every position down as much.
class Scanner {
public:
    explicit Scanner(TextFile& input) : input_(input) {}
    void Run();

private:
    bool LoadMore();
    size_t NextStop(size_t from);
    void FindTagOrLineEnd();
    void FindRootTagEnd();
    void OnLessThan(size_t at);
    void OnLineEnd(size_t at);
    void EndRootHead(size_t headEnd);
    void EmitRest(size_t lineEnd);
    void AddToRun(size_t lineEnd);
    void FlushRun();
    std::string_view Text(size_t from, size_t to) const { return window_.substr(from, to - from); }

    TextFile& input_;
    std::string_view window_;  // the loaded bytes not yet released
    size_t pos_ = 0;           // the next byte to look at
    size_t stretch_ = 0;       // the first byte not yet handed over
    size_t runStart_ = 0;      // whole lines waiting to be written as they stand
    size_t runEnd_ = 0;
    size_t rootTagEnd_ = 0;         // while the head of an opening root tag waits for its ">"
    size_t blockStart_ = SIZE_MAX;  // the block of 64 bytes whose stops are known, if any
    uint64_t blockStops_ = 0;
    bool seekingRootEnd_ = false;
    bool lineStart_ = true;  // pos_ is the first byte of a line
    bool afterCr_ = false;   // a CR ended the last line: an LF at pos_ belongs to it
    bool dataEnded_ = false;
};

void Scanner::Run() {
    for (;;) {
        if (pos_ == window_.size()) {
            if (LoadMore()) continue;
            if (!seekingRootEnd_) break;
            EndRootHead(rootTagEnd_);  // no ">" before the end of the data
            continue;
        }
        if (afterCr_) {
            afterCr_ = false;
            if (window_[pos_] == LF) {
                stretch_ = ++pos_;
                continue;
            }
        }
        if (lineStart_) {
            if (static_cast<uint8_t>(window_[pos_]) == EndOfFileMark) break;
            lineStart_ = false;
        }
        if (seekingRootEnd_) {
            FindRootTagEnd();
        } else {
            FindTagOrLineEnd();
        }
    }
    EmitRest(pos_);  // a last line without a line end
}

// False at the end of the data.
bool Scanner::LoadMore() {
    if (dataEnded_) return false;
    FlushRun();
    size_t released = stretch_;
    dataEnded_ = !input_.Load(released);
    IoCheck();
    window_ = input_.Loaded.View();
    pos_ -= released;
    stretch_ = 0;
    runStart_ = runEnd_ = 0;
    blockStart_ = SIZE_MAX;
    if (seekingRootEnd_) rootTagEnd_ -= released;
    return !dataEnded_;
}

// The first byte at or after `from` that may start a tag or end a line, or
// the window's end. Stops are found 64 bytes at a time and remembered; the
// last few bytes of the window are searched for every "<", CR and LF. An LF
// that follows a CR is no stop: the scan has always passed it with the CR.
size_t Scanner::NextStop(size_t from) {
    const char* begin = window_.data();
    for (;;) {
        if (from >= blockStart_ && from - blockStart_ < StopBlockSize) {
            uint64_t stops = blockStops_ >> (from - blockStart_);
            if (stops != 0) return from + static_cast<size_t>(__builtin_ctzll(stops));
            from = blockStart_ + StopBlockSize;
        }
        if (window_.size() - from < StopBlockSize) {
            return static_cast<size_t>(
                FindFirstOf(begin + from, begin + window_.size(), '<', CR, LF) - begin);
        }
        blockStart_ = from;
        blockStops_ = BlockStops(begin + from, from != 0 ? begin[from - 1] : '\0');
    }
}

// Passes over the stops that need no action (a "<" that begins no tag, a
// line for the open form file that ends in CR LF) in one loop, and hands
// any other to its handler. The flags cannot change inside the loop: only
// tags change them.
void Scanner::FindTagOrLineEnd() {
    const bool toFormFile = BodyGoesToFormFile();
    for (;;) {
        size_t at = NextStop(pos_);
        if (at == window_.size()) {
            pos_ = at;
            return;
        }
        if (window_[at] == '<') {
            if (SurelyNoTag(window_, at)) {
                pos_ = at + 1;
                continue;
            }
            OnLessThan(at);
            return;
        }
        // A line whose next one is known to start with another byte than
        // 0x1A joins the run.
        bool wholeLine = toFormFile && at > stretch_ && window_.size() - at > 2 &&
                         window_[at] == CR && window_[at + 1] == LF &&
                         static_cast<uint8_t>(window_[at + 2]) != EndOfFileMark;
        if (!wholeLine) {
            OnLineEnd(at);
            return;
        }
        AddToRun(at + 2);
    }
}

// The head of an opening root tag runs on through the first ">" of its
// line; without one, it ends with the tag and the rest is looked at again.
void Scanner::FindRootTagEnd() {
    const char* begin = window_.data();
    pos_ =
        static_cast<size_t>(FindFirstOf(begin + pos_, begin + window_.size(), '>', CR, LF) - begin);
    if (pos_ == window_.size()) return;
    EndRootHead(window_[pos_] == '>' ? pos_ + 1 : rootTagEnd_);
}

void Scanner::OnLessThan(size_t at) {
    const Tag* match = nullptr;
    switch (LookUpTag(window_.substr(at, LongestTag), dataEnded_, &match)) {
        case Lookup::None: pos_ = at + 1; return;
        case Lookup::NeedMore:
            LoadMore();  // the "<" is looked at again with the bytes after it
            return;
        case Lookup::Found: break;
    }
    size_t tagEnd = at + match->Text.size();
    if (match == &OpeningRootTag) {
        seekingRootEnd_ = true;
        rootTagEnd_ = pos_ = tagEnd;
        return;
    }
    FlushRun();
    ActOnTag(*match, Text(stretch_, tagEnd));
    stretch_ = pos_ = tagEnd;
}

void Scanner::EndRootHead(size_t headEnd) {
    seekingRootEnd_ = false;
    FlushRun();
    ActOnTag(OpeningRootTag, Text(stretch_, headEnd));
    stretch_ = pos_ = headEnd;
}

void Scanner::OnLineEnd(size_t at) {
    bool crLf = window_[at] == CR && at + 1 < window_.size() && window_[at + 1] == LF;
    if (crLf && at > stretch_ && BodyGoesToFormFile()) {
        AddToRun(at + 2);
        lineStart_ = true;
        return;
    }
    EmitRest(at);
    afterCr_ = window_[at] == CR;
    stretch_ = pos_ = at + 1;
    lineStart_ = true;
}

// The stretch is a whole line for the open form file, ending in CR LF just
// before `lineEnd`: it leaves as it stands.
void Scanner::AddToRun(size_t lineEnd) {
    if (runEnd_ != stretch_) {
        FlushRun();
        runStart_ = stretch_;
    }
    runEnd_ = stretch_ = pos_ = lineEnd;
}

// The text from the last cut to the end of its line: body text, unless it
// is empty or skipped.
void Scanner::EmitRest(size_t lineEnd) {
    FlushRun();
    if (lineEnd == stretch_ || SplitterState->Skipping) return;
    EmitBodyLine(Text(stretch_, lineEnd));
}

void Scanner::FlushRun() {
    if (runEnd_ == runStart_) return;
    SplitterState->FormFile.WriteLines(Text(runStart_, runEnd_));
    IoCheck();
    runStart_ = runEnd_;
}

}  // namespace

void SplitStream(TextFile& input) {
    Scanner(input).Run();
}
