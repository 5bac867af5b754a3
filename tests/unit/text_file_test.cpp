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

    // Every byte of `name`, loaded the way the program loads its input:
    // each load releases all of the window but its last `keep` bytes,
    // which must still be there, in front of the new ones.
    std::string LoadAll(const std::string& name, size_t keep) {
        TextFile file;
        file.Bind(name);
        file.OpenForReading();
        std::string bytes;
        size_t kept = 0;
        size_t release = 0;
        while (file.Load(release)) {
            std::string_view window = file.Loaded.View();
            EXPECT_EQ(window.substr(0, kept), std::string_view(bytes).substr(bytes.size() - kept));
            EXPECT_LE(window.size() - kept, static_cast<size_t>(InputLoadSize));
            bytes.append(window.substr(kept));
            kept = std::min(keep, window.size());
            release = window.size() - kept;
        }
        EXPECT_EQ(PendingIoError, 0);
        file.Close();
        return bytes;
    }

    FakePlatform fake;
    platform::ScopedPlatform installed_{fake};
};

std::string Long(size_t n, char c = 'x') {
    return std::string(n, c);
}

struct LoadCase {
    const char* Name;
    size_t Size;
    size_t Keep;
};

class Loads : public TextFileTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(Loads, DeliverEveryByteOnceWithTheKeptOnesInFront) {
    std::string content;
    for (size_t i = 0; i < GetParam().Size; ++i) content.push_back(static_cast<char>(i * 7 % 251));
    fake.Files["in"] = content;
    EXPECT_EQ(LoadAll("in", GetParam().Keep), content);
}

TEST_P(Loads, DeliverTheSameBytesFromADeviceGivingOneByteAtATime) {
    std::string content(GetParam().Size % 5000, 'd');
    fake.Files["dev"] = content;
    fake.CharDevices.insert("dev");
    fake.ReadChunkLimit = 1;
    EXPECT_EQ(LoadAll("dev", GetParam().Keep), content);
}

INSTANTIATE_TEST_SUITE_P(
    TextFile, Loads,
    testing::Values(LoadCase{"Empty", 0, 0}, LoadCase{"OneByte", 1, 0},
                    LoadCase{"ReleasingAll", 5 * TextBufferSize + 3, 0},
                    LoadCase{"KeepingAFew", 5 * TextBufferSize + 3, 17},
                    LoadCase{"KeepingMoreThanALoad", 9 * TextBufferSize, 3 * TextBufferSize + 1},
                    LoadCase{"KeepingEverything", 6 * TextBufferSize + 5, SIZE_MAX}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.Name; });

TEST(MapWin32Error, FoldsWriteProtectRangeSharingViolationAndNameTooLong) {
    struct Case {
        uint32_t Code;
        uint16_t Number;
    };
    for (Case c : std::vector<Case>{{2, 2},
                                    {3, 3},
                                    {5, 5},
                                    {18, 18},
                                    {19, 150},
                                    {21, 152},
                                    {31, 162},
                                    {32, 5},
                                    {33, 33},
                                    {112, 112},
                                    {123, 123},
                                    {0x10005, 5},
                                    {206, 3},
                                    {205, 205},
                                    {207, 207}}) {
        EXPECT_EQ(MapWin32Error(c.Code), c.Number) << c.Code;
    }
}

enum class Op { OpenForReading, CreateForWriting, Load, WriteLine, Close };

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
    {"UnboundLoad", TextFileMode::Unbound, Op::Load, 103},
    {"UnboundWriteLine", TextFileMode::Unbound, Op::WriteLine, 103},
    {"UnboundClose", TextFileMode::Unbound, Op::Close, 103},
    {"ClosedLoad", TextFileMode::Closed, Op::Load, 103},
    {"ClosedWriteLine", TextFileMode::Closed, Op::WriteLine, 103},
    {"ClosedClose", TextFileMode::Closed, Op::Close, 103},
    {"ReadingWriteLine", TextFileMode::Reading, Op::WriteLine, 105},
    {"ReadingClose", TextFileMode::Reading, Op::Close, 0},
    {"WritingLoad", TextFileMode::Writing, Op::Load, 104},
    {"WritingClose", TextFileMode::Writing, Op::Close, 0},
    {"ReadingReopen", TextFileMode::Reading, Op::OpenForReading, 0},
    {"WritingRecreate", TextFileMode::Writing, Op::CreateForWriting, 0},
};

class ModeErrors : public TextFileTest, public testing::WithParamInterface<ModeCase> {
protected:
    void Apply(TextFile& file, Op op) {
        switch (op) {
            case Op::OpenForReading: file.OpenForReading(); break;
            case Op::CreateForWriting: file.CreateForWriting(); break;
            case Op::Load: {
                bool loaded = file.Load(0);
                EXPECT_EQ(loaded, PendingIoError == 0);
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
                         [](const testing::TestParamInfo<ModeCase>& info) {
                             return info.param.Name;
                         });

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

INSTANTIATE_TEST_SUITE_P(
    TextFile, OpenFailures,
    testing::Values(OpenFailure{"PathNotFound", 3, 3}, OpenFailure{"TooManyFiles", 4, 4},
                    OpenFailure{"WriteProtect", 19, 150}, OpenFailure{"NotReady", 21, 152},
                    OpenFailure{"SharingViolation", 32, 5}, OpenFailure{"InvalidName", 123, 123},
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
    EXPECT_FALSE(file.Load(0));
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
    EXPECT_FALSE(file.Load(0));
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
