// The splitter held against the line-at-a-time model (reference_splitter)
// over whole runs at the real load size: batches whose lines are long,
// whose forms stand on one line, and generated text full of the bytes that
// matter (tags in pieces, every kind of line end, 0x1A, the root tag's ">")
// must give the same files, the same status and the same report.
#include <gtest/gtest.h>

#include <random>

#include "tests/reference_splitter.h"
#include "tests/run_in_process.h"

namespace {

constexpr uint32_t SplitDoneStatus = 2;  // no form program registered
constexpr uint32_t FatalStatus = 217;

std::string ReportLine(const FakePlatform& fake) {
    if (fake.Boxes.empty()) return "";
    const std::string& text = fake.Boxes[0].Text;
    size_t start = text.find("\r\n") + 2;
    return text.substr(start, text.find("\r\n", start) - start);
}

void ExpectSameAsModel(const std::string& input, uint32_t readChunkLimit = 0) {
    ModelOutcome model = ModelSplit(input, "b");
    FakePlatform fake;
    fake.Files["b.xml"] = input;
    fake.ReadChunkLimit = readChunkLimit;
    uint32_t status = RunInProcess(fake, {"formsplit", "b.xml"});
    fake.Files.erase("b.xml");
    EXPECT_EQ(status, model.ErrorNumber == 0 ? SplitDoneStatus : FatalStatus);
    EXPECT_EQ(ReportLine(fake), ModelReportLine(model.ErrorNumber));
    EXPECT_EQ(fake.Files.size(), model.Files.size());
    for (const auto& [name, content] : model.Files) {
        auto written = fake.Files.find(name);
        ASSERT_NE(written, fake.Files.end()) << name;
        // Sizes first: a failure message of two large files says little.
        ASSERT_EQ(written->second.size(), content.size()) << name;
        EXPECT_TRUE(written->second == content) << name;
    }
    EXPECT_TRUE(fake.OpenHandles.empty());
}

// Pieces the generated text is made of: the six tags in several letter
// cases, their beginnings, the root tag with attributes, line ends of every
// kind, blanks, 0x1A, and plain text.
const std::vector<std::string> Pieces = {
    "<nyomtatvanyok",
    "<NyomTatvanyok a='1'>",
    "</nyomtatvanyok>",
    "</NYOMTATVANYOK",
    "<ormu>",
    "</Ormu>",
    "<nyomtatvany>",
    "<NYOMTATVANY>",
    "</nyomtatvany>",
    "</nyomtatvanY>",
    "<nyomtatv",
    "</ORM",
    "<",
    "</",
    ">",
    "\r\n",
    "\r\n",
    "\r",
    "\n",
    "\n\r",
    "\r\r\n",
    " ",
    "\t",
    "  ",
    "\x1A",
    "<field id='A1'>1234</field>",
    "text",
    "\xE1rv\xEDzt\xFBr\xF5",
    std::string(1, '\0'),
};

std::string Soup(std::mt19937& random, size_t pieces) {
    std::uniform_int_distribution<size_t> pick(0, Pieces.size() - 1);
    std::string text;
    for (size_t i = 0; i < pieces; ++i) text += Pieces[pick(random)];
    return text;
}

TEST(ModelComparison, GeneratedTextOfEveryKind) {
    std::mt19937 random(11);
    for (int round = 0; round < 400; ++round) {
        std::string input = Soup(random, 1 + static_cast<size_t>(round) % 60);
        ExpectSameAsModel(input);
        if (HasFailure()) {
            ADD_FAILURE() << "input of " << input.size() << " bytes, round " << round;
            return;
        }
    }
}

// A batch as an exporting program writes it, with `separator` between its
// elements: one form after another, of varied sizes, some over a load.
std::string Batch(std::mt19937& random, int forms, const std::string& separator) {
    std::uniform_int_distribution<int> fields(0, 4000);
    std::string text = "<?xml version='1.0'?>" + separator + "<nyomtatvanyok xmlns='urn:forms'>" +
                       separator + "<ormu><v>1</v></ormu>" + separator;
    for (int form = 0; form < forms; ++form) {
        text += "<nyomtatvany>" + separator;
        int count = fields(random);
        for (int i = 0; i < count; ++i)
            text += "<field id='F" + std::to_string(i) + "'>v\xE1l</field>" + separator;
        text += "</nyomtatvany>" + separator;
    }
    return text + "</nyomtatvanyok>" + separator;
}

TEST(ModelComparison, BatchesOnOneLineAndLineByLine) {
    std::mt19937 random(4);
    for (const std::string separator : {"", "\r\n", "\n", "\r", " "}) {
        ExpectSameAsModel(Batch(random, 40, separator));
        ExpectSameAsModel(Batch(random, 10, separator), 4093);  // reads that stop short of a load
    }
}

// Long lines built of generated text, so that tags and line ends meet the
// edges of loads in every way.
TEST(ModelComparison, LongLinesOfGeneratedText) {
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        std::string input =
            Soup(random, 3000) + std::string(70000 + round * 997, 'x') + Soup(random, 3000);
        ExpectSameAsModel(input);
        if (HasFailure()) return;
    }
}

}  // namespace
