// Whole split runs over the fake platform: what each input leaves in the
// form files and the list file, and how a run ends.
#include <gtest/gtest.h>

#include <map>

#include "splitter/splitter_state.h"
#include "tests/run_in_process.h"

namespace {

using Files = std::map<std::string, std::string>;

// Lines joined, each ended by CR LF.
std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

struct SplitResult {
    uint32_t Status;
    Files Written;          // every file but the input
    std::string ErrorLine;  // the report's second line, if any
};

SplitResult Split(const std::string& input) {
    FakePlatform fake;
    fake.Files["b.xml"] = input;
    SplitResult result;
    result.Status = RunInProcess(fake, {"formsplit", "b.xml"});
    fake.Files.erase("b.xml");
    result.Written = fake.Files;
    if (!fake.Boxes.empty()) {
        const std::string& text = fake.Boxes[0].Text;
        size_t start = text.find("\r\n") + 2;
        result.ErrorLine = text.substr(start, text.find("\r\n", start) - start);
    }
    EXPECT_TRUE(fake.OpenHandles.empty());
    return result;
}

const std::string Decl = "<?xml version='1.0'?>";
const std::string Root = "<nyomtatvanyok xmlns='urn:forms'>";
const std::string Footer = "</nyomtatvanyok>";

struct SplitCase {
    const char* Name;
    std::string Input;
    Files Expected;
    uint32_t Status = 2;  // split done, no form program registered
    std::string ErrorLine = "";
};

const std::vector<SplitCase> SplitCases = {
    {"WorkedExample",
     Lines({Decl, Root, "  <ormu>", "    <version>1.0</version>", "  </ormu>", "  <nyomtatvany>",
            "    <field id='A1'>1234</field>", "    <field id='A2'>abc</field>", "  </nyomtatvany>",
            "", "  <nyomtatvany>", "    <field id='A1'>5678</field>", "  </nyomtatvany>", Footer,
            "<!-- end -->"}),
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Decl, Root, "  <nyomtatvany>", "    <field id='A1'>1234</field>",
                           "    <field id='A2'>abc</field>", "  </nyomtatvany>", Footer})},
      {"b0002.Xml", Lines({Decl, Root, "  <nyomtatvany>", "    <field id='A1'>5678</field>",
                           "  </nyomtatvany>", Footer})}}},
    {"WholeDocumentOnOneLine",
     Decl + Root +
         "<ormu><v>1</v></ormu><nyomtatvany><f>1</f></nyomtatvany><nyomtatvany><f>2</f></nyomtatvany>" +
         Footer,
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Decl + Root, "<nyomtatvany>", "<f>1</f></nyomtatvany>", Footer})},
      {"b0002.Xml", Lines({Decl + Root, "<nyomtatvany>", "<f>2</f></nyomtatvany>", Footer})}}},
    {"TagsInAnyLetterCase",
     Lines({"<NYOMTATVANYOK>", "<Ormu>", "</ORMU>", "<NyomTatvany>", "x", "</nyomTATVANY>",
            "</NyomTatvanyok>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({"<NYOMTATVANYOK>", "<NyomTatvany>", "x", "</nyomTATVANY>", Footer})}}},
    {"AccentedTagNamesDoNotMatch",
     Lines({Root, "<nyomtatvany>", "<nyomtatv\xE1ny>", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "<nyomtatv\xE1ny>", "</nyomtatvany>", Footer})}}},
    {"FormTagWithAttributesIsBodyText",
     Lines({Root, "<nyomtatvany>", "<nyomtatvany id='2'>", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml",
       Lines({Root, "<nyomtatvany>", "<nyomtatvany id='2'>", "</nyomtatvany>", Footer})}}},
    {"SeveralTagsOnOneLine",
     Lines({Root, "<nyomtatvany>a</nyomtatvany><nyomtatvany>b</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "a</nyomtatvany>", Footer})},
      {"b0002.Xml", Lines({Root, "<nyomtatvany>", "b</nyomtatvany>", Footer})}}},
    {"IndentationAndTextBeforeATagStayWithIt",
     Lines({"  pre<nyomtatvanyok a='1'>post", "<nyomtatvany>  ", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({"  pre<nyomtatvanyok a='1'>", "post", "<nyomtatvany>", "  ",
                           "</nyomtatvany>", Footer})}}},
    {"RootTagOverSeveralLines",
     Lines({Decl, "<nyomtatvanyok", "   xmlns='urn:forms'", "   version='2'>", "<nyomtatvany>",
            "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Decl, "<nyomtatvanyok", "   xmlns='urn:forms'", "   version='2'>",
                           "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"LongPrologIsKeptWhole",
     Lines({Decl, "<!-- 1 -->", "<!-- 2 -->", "<!-- 3 -->", "<!-- 4 -->", "<!-- 5 -->", Root,
            "<nyomtatvany>", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Decl, "<!-- 1 -->", "<!-- 2 -->", "<!-- 3 -->", "<!-- 4 -->",
                           "<!-- 5 -->", Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"EmptyLinesNeverReachAFile",
     Lines({"", Root, "", "<nyomtatvany>", "", "x", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "x", "</nyomtatvany>", Footer})}}},
    {"BlanksBetweenFormsAndAfterClosingTagsAreDropped",
     Lines({Root, "<ormu>", "</ormu>  \t", "  ", "<nyomtatvany>", "</nyomtatvany>   ", "\t",
            "<nyomtatvany>", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})},
      {"b0002.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"OrmuBlockInsideAFormIsLeftOut",
     Lines({Root, "<nyomtatvany>", "a", "x<ormu>dropped", "dropped", "dropped</ormu>b",
            "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "a", "b", "</nyomtatvany>", Footer})}}},
    {"OrmuBlockOnOneLineIsDropped",
     Lines({Root, "<ormu>x</ormu>", "<nyomtatvany>", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"TextAndTagsAfterTheClosingRootTag",
     Lines({Root, "<nyomtatvany>", "</nyomtatvany>", "</nyomtatvanyok> trailing", "more text",
            "<nyomtatvany>", "dropped", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})},
      {"b0002.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"LongerRootNameCountsAsRoot",
     Lines({"<nyomtatvanyokx>", "<nyomtatvany>", "</nyomtatvany>", "</nyomtatvanyokx>", "gone"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({"<nyomtatvanyokx>", "<nyomtatvany>", "</nyomtatvany>", Footer})}}},
    {"TagsInCommentsAct",
     Lines({Root, "<!-- <nyomtatvany> -->", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<!-- <nyomtatvany>", " -->", "</nyomtatvany>", Footer})}}},
    {"AFormWithoutItsClosingTagKeepsItsLines",
     Lines({Root, "<nyomtatvany>", "first", "<nyomtatvany>", "second", "</nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml", "b0002.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "first"})},
      {"b0002.Xml", Lines({Root, "<nyomtatvany>", "second", "</nyomtatvany>", Footer})}}},
    {"TheInputEndingInsideAFormKeepsItsLines",
     Lines({Root, "<nyomtatvany>", "first"}) + "last line without end",
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "first", "last line without end"})}}},
    {"NoFormsGiveAnEmptyList", Lines({Decl, Root, "<ormu>", "</ormu>", Footer}), {{"b.Txt", ""}}},
    {"TwoClosingFormTagsAreFatal",
     Lines({Root, "<nyomtatvany>", "</nyomtatvany>", "</nyomtatvany>", "<nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}},
     217,
     "EINOUTERROR : File not open"},
    {"StrayTextBetweenFormsIsFatal",
     Lines({Root, "<nyomtatvany>", "</nyomtatvany>", "stray", "<nyomtatvany>"}),
     {{"b.Txt", Lines({"b0001.Xml"})},
      {"b0001.Xml", Lines({Root, "<nyomtatvany>", "</nyomtatvany>", Footer})}},
     217,
     "EINOUTERROR : File not open"},
    {"StrayTextAfterTheOrmuBlockIsFatal",
     Lines({Root, "<ormu>", "</ormu>", "stray"}),
     {{"b.Txt", ""}},
     217,
     "EINOUTERROR : File not open"},
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, WritesExactlyTheExpectedFiles) {
    SplitResult result = Split(GetParam().Input);
    EXPECT_EQ(result.Status, GetParam().Status);
    EXPECT_EQ(result.ErrorLine, GetParam().ErrorLine);
    EXPECT_EQ(result.Written, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Splitter, SplitTest, testing::ValuesIn(SplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                             return info.param.Name;
                         });

// Line ends as the splitter meets them inside a form: every line that is
// not empty reaches the form file, ended by CR LF.
struct LineEndCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Lines;
};

const std::string FormStart = Lines({Root, "<nyomtatvany>"});

// Text that ends `before` bytes short of the end of the first load, after
// FormStart.
std::string ToLoadEnd(size_t before) {
    return std::string(static_cast<size_t>(InputLoadSize) - FormStart.size() - before, 'x');
}

const std::vector<LineEndCase> LineEndCases = {
    {"MixedLineEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"LfCrIsTwoLineEnds", "a\n\rb", {"a", "b"}},
    {"CrCrLfIsTwoLineEnds", "a\r\r\nb", {"a", "b"}},
    {"Nothing", "", {}},
    {"FinalLineEndAddsNoLine", "a\r\n", {"a"}},
    {"EmptyLinesGiveNothing", "\r\n\r\n\n\r", {}},
    {"EofMarkStartsLine",
     "a\r\n\x1A"
     "b\r\nc",
     {"a"}},
    {"EofMarkAfterCr",
     "a\r\x1A"
     "b",
     {"a"}},
    {"EofMarkFirstByte",
     "\x1A"
     "abc",
     {}},
    {"EofMarkInsideLine",
     "a\x1A"
     "b\r\nc",
     {"a\x1A"
      "b",
      "c"}},
    {"NulIsData", std::string("a\0b", 3), {std::string("a\0b", 3)}},
    {"HighBytesPassThrough", "\xE1\xF5\xFB\r\n", {"\xE1\xF5\xFB"}},
    {"CrLfAcrossLoads", ToLoadEnd(1) + "\r\ny", {ToLoadEnd(1), "y"}},
    {"CrCrAcrossLoads", ToLoadEnd(1) + "\r\ry", {ToLoadEnd(1), "y"}},
    {"LineFillsLoad", ToLoadEnd(0) + "\r\ny", {ToLoadEnd(0), "y"}},
    {"LineOverLoads",
     std::string(3 * InputLoadSize + 7, 'x') + "\ny",
     {std::string(3 * InputLoadSize + 7, 'x'), "y"}},
    {"EofMarkOpensSecondLoad",
     ToLoadEnd(2) + "\r\n\x1A"
                    "z",
     {ToLoadEnd(2)}},
    {"TagAcrossLoads",
     ToLoadEnd(5) + "</nyomtatvany>\r\n",
     {ToLoadEnd(5) + "</nyomtatvany>", Footer}},
};

void PrintTo(const LineEndCase& c, std::ostream* out) {
    *out << c.Name;
}

class LineEnds : public testing::TestWithParam<LineEndCase> {
protected:
    std::string Expected() const {
        std::string expected = FormStart;
        for (const std::string& line : GetParam().Lines) expected += line + "\r\n";
        return expected;
    }
};

TEST_P(LineEnds, ReachTheFormFileAsLines) {
    SplitResult result = Split(FormStart + GetParam().Text);
    EXPECT_EQ(result.Status, 2u);
    EXPECT_EQ(result.Written["b0001.Xml"], Expected());
}

TEST_P(LineEnds, AreTheSameFromADeviceGivingOneByteAtATime) {
    FakePlatform fake;
    fake.Files["b.xml"] = FormStart + GetParam().Text;
    fake.CharDevices.insert("b.xml");
    fake.ReadChunkLimit = 1;
    EXPECT_EQ(RunInProcess(fake, {"formsplit", "b.xml"}), 2u);
    EXPECT_EQ(fake.Files["b0001.Xml"], Expected());
}

INSTANTIATE_TEST_SUITE_P(Splitter, LineEnds, testing::ValuesIn(LineEndCases),
                         [](const testing::TestParamInfo<LineEndCase>& info) {
                             return info.param.Name;
                         });

TEST(Splitter, HeaderTextsPastTheLimitAreInvalidInput) {
    std::string big(HeaderByteLimit / 2, 'h');
    SplitResult result = Split(Lines({big, big, "x", Root, "<nyomtatvany>"}));
    EXPECT_EQ(result.Status, 217u);
    EXPECT_EQ(result.ErrorLine, "EINOUTERROR : Invalid input");
    EXPECT_EQ(result.Written, (Files{{"b.Txt", ""}}));
}

TEST(Splitter, HeaderTextsUpToTheLimitAreKept) {
    std::string big(HeaderByteLimit - Root.size(), 'h');
    SplitResult result = Split(Lines({big, Root, "<nyomtatvany>", "</nyomtatvany>"}));
    EXPECT_EQ(result.Status, 2u);
    EXPECT_EQ(result.Written["b0001.Xml"],
              Lines({big, Root, "<nyomtatvany>", "</nyomtatvany>", Footer}));
}

TEST(Splitter, FormNumbersGoOnPast9999And65535WithoutReuse) {
    std::string input = Root + "\r\n";
    for (int i = 1; i <= 65537; ++i)
        input += "<nyomtatvany>" + std::to_string(i) + "</nyomtatvany>\r\n";
    SplitResult result = Split(input);
    EXPECT_EQ(result.Status, 2u);
    EXPECT_EQ(result.Written.size(), 65538u);
    EXPECT_EQ(result.Written["b0001.Xml"],
              Lines({Root, "<nyomtatvany>", "1</nyomtatvany>", Footer}));
    EXPECT_EQ(result.Written["b9999.Xml"],
              Lines({Root, "<nyomtatvany>", "9999</nyomtatvany>", Footer}));
    EXPECT_EQ(result.Written["b10000.Xml"],
              Lines({Root, "<nyomtatvany>", "10000</nyomtatvany>", Footer}));
    EXPECT_EQ(result.Written["b65536.Xml"],
              Lines({Root, "<nyomtatvany>", "65536</nyomtatvany>", Footer}));
    EXPECT_EQ(result.Written["b65537.Xml"],
              Lines({Root, "<nyomtatvany>", "65537</nyomtatvany>", Footer}));
    const std::string& list = result.Written["b.Txt"];
    EXPECT_EQ(list.substr(0, 22), "b0001.Xml\r\nb0002.Xml\r\n");
    EXPECT_EQ(list.substr(list.size() - 24), "b65536.Xml\r\nb65537.Xml\r\n");
}

TEST(Splitter, FormFileNamesArePaddedToFourDigits) {
    struct Case {
        uint64_t Number;
        const char* Name;
    };
    for (Case c : std::vector<Case>{{1, "C:\\b0001.Xml"},
                                    {42, "C:\\b0042.Xml"},
                                    {9999, "C:\\b9999.Xml"},
                                    {10000, "C:\\b10000.Xml"},
                                    {4294967296, "C:\\b4294967296.Xml"}}) {
        EXPECT_EQ(FormFileName("C:\\b", c.Number), c.Name);
    }
}

}  // namespace
