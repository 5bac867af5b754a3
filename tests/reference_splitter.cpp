#include "tests/reference_splitter.h"

#include <string_view>
#include <vector>

#include "splitter/splitter_state.h"

namespace {

constexpr uint16_t FileNotOpen = 103;
constexpr uint16_t InvalidInput = 106;

struct ModelTag {
    std::string_view Text;
    bool Opening;
    enum { Root, OrmuBlock, Form } Element;
};

// In the order in which a tied search would take them.
constexpr ModelTag Tags[] = {
    {"<NYOMTATVANYOK", true, ModelTag::Root}, {"<ORMU>", true, ModelTag::OrmuBlock},
    {"<NYOMTATVANY>", true, ModelTag::Form},  {"</NYOMTATVANYOK", false, ModelTag::Root},
    {"</ORMU>", false, ModelTag::OrmuBlock},  {"</NYOMTATVANY>", false, ModelTag::Form},
};

struct ModelError {
    uint16_t Number;
};

bool FoldedEqual(std::string_view text, std::string_view upper) {
    if (text.size() < upper.size()) return false;
    for (size_t i = 0; i < upper.size(); ++i) {
        char c =
            text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != upper[i]) return false;
    }
    return true;
}

class Model {
public:
    explicit Model(std::string baseName)
        : base_(std::move(baseName)), list_(&files_[base_ + ".Txt"]) {}

    ModelOutcome Run(std::string_view input) {
        ModelOutcome outcome;
        try {
            ReadLines(input);
        } catch (const ModelError& error) {
            outcome.ErrorNumber = error.Number;
        }
        outcome.Files = files_;
        return outcome;
    }

private:
    // Lines end in CR LF, CR or LF; a line that starts with 0x1A ends the
    // input.
    void ReadLines(std::string_view input) {
        size_t at = 0;
        while (at < input.size() && input[at] != '\x1A') {
            size_t end = std::min(input.find_first_of("\r\n", at), input.size());
            ProcessLine(input.substr(at, end - at));
            at = end;
            if (at == input.size()) break;
            at += input[at] == '\r' && at + 1 < input.size() && input[at + 1] == '\n' ? 2 : 1;
        }
    }

    // The leftmost tag of the line, or nullptr.
    const ModelTag* FindTag(std::string_view line, size_t* position) {
        for (size_t at = line.find('<'); at != std::string_view::npos;
             at = line.find('<', at + 1)) {
            for (const ModelTag& tag : Tags) {
                if (!FoldedEqual(line.substr(at), tag.Text)) continue;
                *position = at;
                return &tag;
            }
        }
        return nullptr;
    }

    void ProcessLine(std::string_view line) {
        while (!line.empty()) {
            size_t position = 0;
            const ModelTag* tag = FindTag(line, &position);
            if (tag == nullptr) {
                if (!skipping_) EmitBodyLine(line);
                return;
            }
            size_t headLength = position + tag->Text.size();
            if (tag->Opening && tag->Element == ModelTag::Root) {
                size_t gt = line.find('>', headLength);
                if (gt != std::string_view::npos) headLength = gt + 1;
            }
            Act(*tag, line.substr(0, headLength));
            line.remove_prefix(headLength);
        }
    }

    void Act(const ModelTag& tag, std::string_view head) {
        if (tag.Element == ModelTag::Root) {
            if (tag.Opening) AddHeaderLine(head);
            if (!tag.Opening) skipping_ = true;
            return;
        }
        collecting_ = false;
        if (tag.Element == ModelTag::OrmuBlock) {
            skipping_ = tag.Opening;
        } else if (tag.Opening) {
            StartFormFile(head);
        } else {
            WriteFormLine(head);
            WriteFormLine(FooterLine);
            form_ = nullptr;
        }
    }

    void AddHeaderLine(std::string_view text) {
        if (!collecting_) return;
        if (text.size() > HeaderByteLimit - headerBytes_) throw ModelError{InvalidInput};
        header_.emplace_back(text);
        headerBytes_ += text.size();
    }

    void EmitBodyLine(std::string_view text) {
        if (collecting_) {
            AddHeaderLine(text);
            return;
        }
        if (form_ == nullptr && text.find_first_not_of(" \t") == std::string_view::npos) return;
        WriteFormLine(text);
    }

    void StartFormFile(std::string_view head) {
        std::string name = FormFileName(base_, ++counter_);
        form_ = &files_[name];
        list_->append(name).append("\r\n");
        for (const std::string& line : header_) WriteFormLine(line);
        WriteFormLine(head);
    }

    void WriteFormLine(std::string_view line) {
        if (form_ == nullptr) throw ModelError{FileNotOpen};
        form_->append(line).append("\r\n");
    }

    std::string base_;
    std::map<std::string, std::string> files_;
    std::string* list_;
    std::string* form_ = nullptr;
    std::vector<std::string> header_;
    size_t headerBytes_ = 0;
    bool collecting_ = true;
    bool skipping_ = false;
    uint64_t counter_ = 0;
};

}  // namespace

ModelOutcome ModelSplit(const std::string& input, const std::string& baseName) {
    return Model(baseName).Run(input);
}

std::string ModelReportLine(uint16_t errorNumber) {
    switch (errorNumber) {
        case 0: return "";
        case FileNotOpen: return "EINOUTERROR : File not open";
        case InvalidInput: return "EINOUTERROR : Invalid input";
        default: return "error " + std::to_string(errorNumber);
    }
}
