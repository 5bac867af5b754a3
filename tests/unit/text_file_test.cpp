#include <gtest/gtest.h>

#include "runtime/text_file.h"
#include "tests/fake_platform.h"

namespace {

class TextFileTest : public testing::Test {
protected:
    void SetUp() override {
        FetchStandardHandles();
        PendingIoError = 0;
    }
    void TearDown() override { PendingIoError = 0; }

    // Every line of `name`, read the way the program reads its input.
    std::vector<std::string> ReadAll(const std::string& name) {
        TextFile file;
        file.Bind(name);
        file.OpenForReading();
        std::vector<std::string> lines;
        LineBuffer line;
        while (!file.AtEnd()) {
            lines.emplace_back(file.ReadLine(line));
        }
        EXPECT_EQ(PendingIoError, 0);
        file.Close();
        return lines;
    }

    FakePlatform fake;
    platform::ScopedPlatform installed_{fake};
};

struct LineCase {
    const char* Name;
    std::string Input;
    std::vector<std::string> Lines;
};

const std::string Long(size_t n, char c = 'x') {
    return std::string(n, c);
}

const std::vector<LineCase> LineCases = {
    {"MixedLineEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"LfCrIsTwoLineEnds", "a\n\rb", {"a", "", "b"}},
    {"CrCrLfIsTwoLineEnds", "a\r\r\nb", {"a", "", "b"}},
    {"EmptyFile", "", {}},
    {"FinalLineEndAddsNoLine", "a\r\n", {"a"}},
    {"LastLineWithoutEnd", "a\r\nb", {"a", "b"}},
    {"EmptyLines", "\r\n\r\n", {"", ""}},
    {"EofMarkStartsLine", "a\r\n\x1A" "b\r\nc", {"a"}},
    {"EofMarkFirstByte", "\x1A" "abc", {}},
    {"EofMarkInsideLine", "a\x1A" "b\r\nc", {"a\x1A" "b", "c"}},
    {"NulIsData", std::string("a\0b", 3), {std::string("a\0b", 3)}},
    {"HighBytesPassThrough", "\xE1\xF5\xFB\r\n", {"\xE1\xF5\xFB"}},
    // One load is TextBufferSize bytes: line ends and marks across loads.
    {"CrLfAcrossLoads", Long(TextBufferSize - 1) + "\r\ny", {Long(TextBufferSize - 1), "y"}},
    {"CrCrAcrossLoads", Long(TextBufferSize - 1) + "\r\ry", {Long(TextBufferSize - 1), "", "y"}},
    {"LineFillsLoad", Long(TextBufferSize) + "\r\ny", {Long(TextBufferSize), "y"}},
    {"LineOverLoads", Long(3 * TextBufferSize + 7) + "\ny", {Long(3 * TextBufferSize + 7), "y"}},
    {"EofMarkOpensSecondLoad", Long(TextBufferSize - 2) + "\r\n\x1A" "z", {Long(TextBufferSize - 2)}},
    {"LinesOf255To510", Long(255) + "\n" + Long(256) + "\n" + Long(510), {Long(255), Long(256), Long(510)}},
};

class LineEnds : public TextFileTest, public testing::WithParamInterface<LineCase> {};

TEST_P(LineEnds, DeliversTheLines) {
    fake.Files["in"] = GetParam().Input;
    EXPECT_EQ(ReadAll("in"), GetParam().Lines);
}

TEST_P(LineEnds, DeliversTheSameLinesFromADeviceGivingOneByteAtATime) {
    fake.Files["dev"] = GetParam().Input;
    fake.CharDevices.insert("dev");
    fake.ReadChunkLimit = 1;
    EXPECT_EQ(ReadAll("dev"), GetParam().Lines);
}

INSTANTIATE_TEST_SUITE_P(TextFile, LineEnds, testing::ValuesIn(LineCases),
                         [](const testing::TestParamInfo<LineCase>& info) { return info.param.Name; });

TEST(MapWin32Error, FoldsWriteProtectRangeSharingViolationAndNameTooLong) {
    struct Case {
        uint32_t Code;
        uint16_t Number;
    };
    for (Case c : std::vector<Case>{{2, 2}, {3, 3}, {5, 5}, {18, 18}, {19, 150}, {21, 152}, {31, 162},
                                    {32, 5}, {33, 33}, {112, 112}, {123, 123}, {0x10005, 5},
                                    {206, 3}, {205, 205}, {207, 207}}) {
        EXPECT_EQ(MapWin32Error(c.Code), c.Number) << c.Code;
    }
}

enum class Op { OpenForReading, CreateForWriting, ReadLine, AtEnd, WriteLine, Close };

struct ModeCase {
    const char* Name;
    TextFileMode Mode;
    Op Operation;
    uint16_t Number;
};

// The number each operation leaves, by the mode it meets.
const std::vector<ModeCase> ModeCases = {
    {"UnboundOpen", TextFileMode::Unbound, Op::OpenForReading, 102},
    {"UnboundCreate", TextFileMode::Unbound, Op::CreateForWriting, 102},
    {"UnboundReadLine", TextFileMode::Unbound, Op::ReadLine, 103},
    {"UnboundAtEnd", TextFileMode::Unbound, Op::AtEnd, 103},
    {"UnboundWriteLine", TextFileMode::Unbound, Op::WriteLine, 103},
    {"UnboundClose", TextFileMode::Unbound, Op::Close, 103},
    {"ClosedReadLine", TextFileMode::Closed, Op::ReadLine, 103},
    {"ClosedAtEnd", TextFileMode::Closed, Op::AtEnd, 103},
    {"ClosedWriteLine", TextFileMode::Closed, Op::WriteLine, 103},
    {"ClosedClose", TextFileMode::Closed, Op::Close, 103},
    {"ReadingWriteLine", TextFileMode::Reading, Op::WriteLine, 105},
    {"ReadingClose", TextFileMode::Reading, Op::Close, 0},
    {"WritingReadLine", TextFileMode::Writing, Op::ReadLine, 104},
    {"WritingAtEnd", TextFileMode::Writing, Op::AtEnd, 104},
    {"WritingClose", TextFileMode::Writing, Op::Close, 0},
    {"ReadingReopen", TextFileMode::Reading, Op::OpenForReading, 0},
    {"WritingRecreate", TextFileMode::Writing, Op::CreateForWriting, 0},
};

class ModeErrors : public TextFileTest, public testing::WithParamInterface<ModeCase> {
protected:
    void Apply(TextFile& file, Op op) {
        LineBuffer line;
        line.Append("stale", 5);
        switch (op) {
            case Op::OpenForReading: file.OpenForReading(); break;
            case Op::CreateForWriting: file.CreateForWriting(); break;
            case Op::ReadLine: {
                std::string_view text = file.ReadLine(line);
                EXPECT_EQ(text, PendingIoError != 0 ? "" : "line");
                break;
            }
            case Op::AtEnd: {
                bool atEnd = file.AtEnd();
                EXPECT_EQ(atEnd, PendingIoError != 0);
                break;
            }
            case Op::WriteLine: file.WriteLine("text"); break;
            case Op::Close: file.Close(); break;
        }
    }
};

TEST_P(ModeErrors, LeaveTheirNumber) {
    const ModeCase& c = GetParam();
    fake.Files["f"] = "line\r\n";
    TextFile file;
    if (c.Mode != TextFileMode::Unbound) file.Bind("f");
    if (c.Mode == TextFileMode::Reading) file.OpenForReading();
    if (c.Mode == TextFileMode::Writing) file.CreateForWriting();
    ASSERT_EQ(file.Mode, c.Mode);
    Apply(file, c.Operation);
    EXPECT_EQ(PendingIoError, c.Number);
    PendingIoError = 0;
    if (file.Mode == TextFileMode::Reading || file.Mode == TextFileMode::Writing) file.Close();
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST_P(ModeErrors, DoNothingWhileANumberIsPending) {
    const ModeCase& c = GetParam();
    fake.Files["f"] = "line\r\n";
    TextFile file;
    if (c.Mode != TextFileMode::Unbound) file.Bind("f");
    if (c.Mode == TextFileMode::Reading) file.OpenForReading();
    if (c.Mode == TextFileMode::Writing) file.CreateForWriting();
    int callsBefore = fake.Calls;
    PendingIoError = 77;
    Apply(file, c.Operation);
    EXPECT_EQ(PendingIoError, 77);
    EXPECT_EQ(fake.Calls, callsBefore);
    EXPECT_EQ(file.Mode, c.Mode);
    PendingIoError = 0;
}

INSTANTIATE_TEST_SUITE_P(TextFile, ModeErrors, testing::ValuesIn(ModeCases),
                         [](const testing::TestParamInfo<ModeCase>& info) { return info.param.Name; });

struct OpenFailure {
    const char* Name;
    uint32_t Win32;
    uint16_t Number;
};

class OpenFailures : public TextFileTest, public testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailures, LeaveTheMappedNumberAndAClosedFile) {
    fake.Files["f"] = "x";
    fake.FailCall("CreateFileA", 1, GetParam().Win32);
    TextFile file;
    file.Bind("f");
    file.OpenForReading();
    EXPECT_EQ(PendingIoError, GetParam().Number);
    EXPECT_EQ(file.Mode, TextFileMode::Closed);
}

INSTANTIATE_TEST_SUITE_P(TextFile, OpenFailures,
                         testing::Values(OpenFailure{"PathNotFound", 3, 3}, OpenFailure{"TooManyFiles", 4, 4},
                                         OpenFailure{"WriteProtect", 19, 150}, OpenFailure{"NotReady", 21, 152},
                                         OpenFailure{"SharingViolation", 32, 5},
                                         OpenFailure{"InvalidName", 123, 123},
                                         OpenFailure{"NameTooLong", 206, 3}),
                         [](const testing::TestParamInfo<OpenFailure>& info) { return info.param.Name; });

TEST_F(TextFileTest, OpeningAMissingFileLeavesFileNotFound) {
    TextFile file;
    file.Bind("missing");
    file.OpenForReading();
    EXPECT_EQ(PendingIoError, 2);
}

TEST_F(TextFileTest, OpeningAFileAnotherTextFileHoldsLeavesAccessDenied) {
    TextFile writer, reader;
    writer.Bind("f");
    writer.CreateForWriting();
    reader.Bind("f");
    reader.OpenForReading();
    EXPECT_EQ(PendingIoError, 5);
    PendingIoError = 0;
    writer.Close();
}

TEST_F(TextFileTest, CreatingEmptiesAnExistingFile) {
    fake.Files["f"] = "old content";
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.Close();
    EXPECT_EQ(fake.Files["f"], "");
}

TEST_F(TextFileTest, WritesLinesWithCrLfAndBytesUnchanged) {
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine("");
    file.WriteLine("\x80\xFF\x1A");
    file.Close();
    EXPECT_EQ(PendingIoError, 0);
    EXPECT_EQ(fake.Files["f"], "\r\n\x80\xFF\x1A\r\n");
}

TEST_F(TextFileTest, AFullBufferWaitsForTheNextByteOrClose) {
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine(Long(TextBufferSize - 2));  // with CR LF exactly one buffer
    EXPECT_TRUE(fake.WriteSizes.empty());
    file.WriteLine("");
    EXPECT_EQ(fake.WriteSizes, std::vector<uint32_t>{TextBufferSize});
    file.Close();
    EXPECT_EQ(fake.WriteSizes, (std::vector<uint32_t>{TextBufferSize, 2}));
    EXPECT_EQ(fake.Files["f"], Long(TextBufferSize - 2) + "\r\n\r\n");
}

TEST_F(TextFileTest, ACharacterDeviceGetsEveryLineAtOnce) {
    fake.CharDevices.insert("con");
    TextFile file;
    file.Bind("con");
    file.CreateForWriting();
    file.WriteLine("a");
    file.WriteLine("b");
    EXPECT_EQ(fake.WriteSizes, (std::vector<uint32_t>{3, 3}));
    file.Close();
    // A device's handle stays open.
    EXPECT_EQ(fake.OpenHandles.size(), 1u);
}

TEST_F(TextFileTest, AFailedWriteOutIsDiskFullAndDropsTheBuffer) {
    fake.FailCall("WriteFile", 1, platform::ErrorDiskFull);
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine(Long(TextBufferSize));
    EXPECT_EQ(PendingIoError, 101);
    EXPECT_EQ(file.Mode, TextFileMode::Writing);
    EXPECT_EQ(file.BufferPos, 0);  // the line end went with the dropped buffer
    EXPECT_EQ(fake.Files["f"], "");
    PendingIoError = 0;
    file.Close();
}

TEST_F(TextFileTest, AFailingCloseWriteOutStillClosesTheFile) {
    fake.FailCall("WriteFile", 1, 5);
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine("a");
    file.Close();
    EXPECT_EQ(PendingIoError, 101);
    EXPECT_EQ(file.Mode, TextFileMode::Closed);
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST_F(TextFileTest, AReadErrorIsReported) {
    fake.Files["f"] = "abc";
    fake.FailCall("ReadFile", 1, 21);
    TextFile file;
    file.Bind("f");
    file.OpenForReading();
    EXPECT_TRUE(file.AtEnd());
    EXPECT_EQ(PendingIoError, 152);
    PendingIoError = 0;
    file.Close();
}

TEST_F(TextFileTest, ABrokenPipeIsTheEndOfTheData) {
    fake.Files["f"] = "abc";
    fake.FailCall("ReadFile", 1, platform::ErrorBrokenPipe);
    TextFile file;
    file.Bind("f");
    file.OpenForReading();
    EXPECT_TRUE(file.AtEnd());
    EXPECT_EQ(PendingIoError, 0);
    file.Close();
}

TEST_F(TextFileTest, SlashesBecomeBackslashesWhereTheSystemWantsThem) {
    fake.UseBackslashes = true;
    fake.Files["dir\\f"] = "x";
    TextFile file;
    file.Bind("dir/f");
    file.OpenForReading();
    EXPECT_EQ(PendingIoError, 0);
    EXPECT_EQ(file.Name, "dir\\f");
    file.Close();
}

TEST_F(TextFileTest, BindingAnOpenFileWritesItOutAndClosesIt) {
    TextFile file;
    file.Bind("first");
    file.CreateForWriting();
    file.WriteLine("kept");
    file.Bind("second");
    EXPECT_EQ(PendingIoError, 0);
    EXPECT_EQ(fake.Files["first"], "kept\r\n");
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST_F(TextFileTest, AFailedWriteOutAtBindIsLeftForTheNextOpen) {
    TextFile file;
    file.Bind("first");
    file.CreateForWriting();
    file.WriteLine("kept");
    fake.FailCall("WriteFile", 1, platform::ErrorDiskFull);
    file.Bind("second");
    file.CreateForWriting();
    EXPECT_EQ(PendingIoError, 101);
    EXPECT_EQ(file.Mode, TextFileMode::Closed);
    EXPECT_TRUE(fake.OpenHandles.empty());
}

TEST_F(TextFileTest, WriteOutOpenFilesSavesEveryOpenFile) {
    TextFile a, b, input;
    fake.Files["in"] = "x";
    input.Bind("in");
    input.OpenForReading();
    a.Bind("a");
    a.CreateForWriting();
    a.WriteLine("1");
    b.Bind("b");
    b.CreateForWriting();
    b.WriteLine("2");
    WriteOutOpenFiles();
    EXPECT_EQ(fake.Files["a"], "1\r\n");
    EXPECT_EQ(fake.Files["b"], "2\r\n");
    EXPECT_TRUE(fake.OpenHandles.empty());
    EXPECT_EQ(a.Mode, TextFileMode::Closed);
}

TEST_F(TextFileTest, AnEmptyNameMeansTheStandardStreams) {
    TextFile file;
    file.Bind("");
    file.CreateForWriting();
    EXPECT_EQ(file.Handle, fake.GetStdHandle(platform::StdStream::Output));
    file.Close();
    EXPECT_EQ(PendingIoError, 0);
}

}  // namespace
