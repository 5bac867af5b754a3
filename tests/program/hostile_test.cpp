// The real executable on inputs that a careless or hostile caller may hand
// it: every run has one clear outcome, ends in time, holds little memory and
// loses nothing that it had written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "tests/program/run_program.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;

const std::string Worked = std::string(FORMSPLIT_FIXTURES) + "/worked";
const std::string Root = "<nyomtatvanyok>";
const std::string Footer = "</nyomtatvanyok>";
const std::string FormStart = "<nyomtatvany>";
const std::string FormEnd = "</nyomtatvany>";
constexpr int NotFoundStatus = 2;  // split done, no form program registered
constexpr int FatalStatus = 217;

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// The report's second line (kind and message) as standard error shows it,
// or "" when no box was shown.
std::string ReportLine(const ProgramResult& result) {
    size_t start = result.Stderr.find('\n');
    if (start == std::string::npos) return "";
    start = result.Stderr.find('\n', start + 1);
    if (start == std::string::npos) return "";
    ++start;
    size_t end = result.Stderr.find("\r\n", start);
    return result.Stderr.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The name of form file `number` of batch.xml.
std::string FormName(int number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", number);
    return std::string("batch") + digits + ".Xml";
}

bool IsPrefix(const std::string& prefix, const std::string& whole) {
    return prefix.size() <= whole.size() && whole.compare(0, prefix.size(), prefix) == 0;
}

// Bytes from a fixed seed, every value possible but those in `excluded`.
std::string Garbage(size_t size, const std::string& excluded = "") {
    std::mt19937 random(20061);
    std::string bytes;
    while (bytes.size() < size) {
        char c = static_cast<char>(random() & 0xFF);
        if (excluded.find(c) == std::string::npos) bytes.push_back(c);
    }
    return bytes;
}

// Lines of 1 to 200 garbage bytes that hold no line end, no end-of-file
// mark and no "<", so none of them is empty or a tag.
std::vector<std::string> GarbageLines(size_t count) {
    std::string bytes = Garbage(count * 200, std::string("\r\n\x1A<", 4));
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t length = 1 + static_cast<unsigned char>(bytes[at]) % 200;
        lines.push_back(bytes.substr(at, length));
        at += length;
    }
    return lines;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ExpectFiles(const std::string& folder, const Files& expected) {
    for (const auto& [name, content] : expected) {
        ASSERT_TRUE(Exists(folder + "/" + name)) << name;
        EXPECT_TRUE(ReadFile(folder + "/" + name) == content) << name << " differs";
    }
}

// --- Inputs judged by their content ---------------------------------------

struct ContentCase {
    const char* Name;
    std::function<std::string()> Input;
    int Status;
    std::string Report;  // "" when the run shows no box
    Files Expected;      // every file of the folder but the input
};

const std::vector<std::string> GarbageBody = GarbageLines(2000);

const std::vector<ContentCase> ContentCases = {
    {"EmptyFile", [] { return std::string(); }, NotFoundStatus, "", {{"batch.Txt", ""}}},
    {"OneByte", [] { return std::string("x"); }, NotFoundStatus, "", {{"batch.Txt", ""}}},
    {"OneEndOfFileMark",
     [] { return std::string("\x1A"); },
     NotFoundStatus,
     "",
     {{"batch.Txt", ""}}},
    // Tagless text is header text: kept in memory, and no form file.
    {"BinaryGarbageWithNulBytes",
     [] { return Garbage(256 * 1024); },
     NotFoundStatus,
     "",
     {{"batch.Txt", ""}}},
    {"BinaryGarbageInsideAForm",
     [] {
         return Lines(Concat(Concat({Root, FormStart}, GarbageBody), {FormEnd, Footer}));
     },
     NotFoundStatus,
     "",
     {{"batch.Txt", Lines({"batch0001.Xml"})},
      {"batch0001.Xml", Lines(Concat(Concat({Root, FormStart}, GarbageBody), {FormEnd, Footer}))}}},
    {"HeaderOfTwoMebibytes",
     [] {
         return Lines(
             Concat(std::vector<std::string>(2048, std::string(1024, 'h')), {Root, FormStart}));
     },
     FatalStatus,
     "EINOUTERROR : Invalid input",
     {{"batch.Txt", ""}}},
};

class ContentInputs : public testing::TestWithParam<ContentCase> {};

TEST_P(ContentInputs, EndClearlyAndWriteExactlyTheExpectedFiles) {
    const ContentCase& c = GetParam();
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", c.Input());
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());
    EXPECT_EQ(result.Status, c.Status) << result.Stderr;
    EXPECT_EQ(ReportLine(result), c.Report);
    std::vector<std::string> entries = {"batch.xml"};
    for (const auto& [name, content] : c.Expected) entries.push_back(name);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(FolderEntries(folder.Path()), entries);
    ExpectFiles(folder.Path(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Hostile, ContentInputs, testing::ValuesIn(ContentCases),
                         [](const testing::TestParamInfo<ContentCase>& info) {
                             return info.param.Name;
                         });

// --- Inputs that are no ordinary file, or have unusual names ---------------

struct PlaceCase {
    const char* Name;
    // Puts the input in place in the folder and gives the argument.
    std::function<std::string(const ScratchFolder&)> Place;
    int Status;
    std::string Report;
    std::vector<std::string> Entries;  // of the folder, afterwards
    Files Expected;                    // by path below the folder
};

// A path of exactly 300 bytes made of short folder names: Linux takes it,
// and so does the program, which sets no limit of its own on names.
const std::string DeepFolder = [] {
    std::string path;
    for (int i = 0; i < 28; ++i) path += "folder-ab/";
    return path + std::string(10, 'z') + "/";
}();

// Puts the worked example in the folder under `name` and gives the name.
std::string PlaceWorkedBatch(const ScratchFolder& folder, const std::string& name) {
    WriteFile(folder / name, ReadFile(Worked + "/batch.xml"));
    return name;
}

const std::string ReadOnlyContent = "kept\r\n";

// A file that nobody may write to.
void PlaceReadOnly(const ScratchFolder& folder, const std::string& name) {
    WriteFile(folder / name, ReadOnlyContent);
    chmod((folder / name).c_str(), 0444);
}

const std::vector<PlaceCase> PlaceCases = {
    {"InputIsAFolder",
     [](const ScratchFolder& folder) {
         mkdir((folder / "batch.xml").c_str(), 0755);
         return std::string("batch.xml");
     },
     FatalStatus,
     "EINOUTERROR : Access denied",
     {"batch.xml"},
     {}},
    // A pipe that nobody writes to is an empty input, at once.
    {"NamedPipeWithoutAWriter",
     [](const ScratchFolder& folder) {
         mkfifo((folder / "batch.xml").c_str(), 0644);
         return std::string("batch.xml");
     },
     NotFoundStatus,
     "",
     {"batch.Txt", "batch.xml"},
     {{"batch.Txt", ""}}},
    {"DevNullThroughALink",
     [](const ScratchFolder& folder) {
         symlink("/dev/null", (folder / "null.xml").c_str());
         return std::string("null.xml");
     },
     NotFoundStatus,
     "",
     {"null.Txt", "null.xml"},
     {{"null.Txt", ""}}},
    // A name of more than 255 bytes: Linux refuses it (ENAMETOOLONG), as
    // Windows does, and the report says the name is wrong.
    {"NameOf300Bytes",
     [](const ScratchFolder&) { return std::string(296, 'n') + ".xml"; },
     FatalStatus,
     "EINOUTERROR : Invalid filename",
     {},
     {}},
    // Control characters, which Windows refuses in a name, would split the
    // lines of the list file: the name is refused before anything is made.
    {"NameWithALineFeed",
     [](const ScratchFolder& folder) { return PlaceWorkedBatch(folder, "we\nird.xml"); },
     FatalStatus,
     "EXCEPTION : Unknown Run-Time error : 123",
     {"we\nird.xml"},
     {}},
    {"NameWithACarriageReturn",
     [](const ScratchFolder& folder) { return PlaceWorkedBatch(folder, "we\rird.xml"); },
     FatalStatus,
     "EXCEPTION : Unknown Run-Time error : 123",
     {"we\rird.xml"},
     {}},
    {"NameWithByte01",
     [](const ScratchFolder& folder) { return PlaceWorkedBatch(folder, "we\x01ird.xml"); },
     FatalStatus,
     "EXCEPTION : Unknown Run-Time error : 123",
     {"we\x01ird.xml"},
     {}},
    // An output file without any write permission is read-only as Windows
    // sees it, and is not emptied, not even by root.
    {"ReadOnlyListFile",
     [](const ScratchFolder& folder) {
         PlaceReadOnly(folder, "batch.Txt");
         return PlaceWorkedBatch(folder, "batch.xml");
     },
     FatalStatus,
     "EINOUTERROR : Access denied",
     {"batch.Txt", "batch.xml"},
     {{"batch.Txt", ReadOnlyContent}}},
    {"ReadOnlyFormFile",
     [](const ScratchFolder& folder) {
         PlaceReadOnly(folder, "batch0001.Xml");
         return PlaceWorkedBatch(folder, "batch.xml");
     },
     FatalStatus,
     "EINOUTERROR : Access denied",
     {"batch.Txt", "batch.xml", "batch0001.Xml"},
     {{"batch0001.Xml", ReadOnlyContent}, {"batch.Txt", ""}}},
    // Output names that lead to the input: the input is held open without
    // sharing, so the program stops before it could empty it.
    {"InputIsAlsoTheFirstFormFile",
     [](const ScratchFolder& folder) {
         WriteFile(folder / "batch0001.Xml", ReadFile(Worked + "/batch.xml"));
         symlink("batch0001.Xml", (folder / "batch.xml").c_str());
         return std::string("batch.xml");
     },
     FatalStatus,
     "EINOUTERROR : Access denied",
     {"batch.Txt", "batch.xml", "batch0001.Xml"},
     {{"batch0001.Xml", ReadFile(Worked + "/batch.xml")}, {"batch.Txt", ""}}},
    {"ListFileLeadsToTheInput",
     [](const ScratchFolder& folder) {
         WriteFile(folder / "batch.xml", ReadFile(Worked + "/batch.xml"));
         symlink("batch.xml", (folder / "batch.Txt").c_str());
         return std::string("batch.xml");
     },
     FatalStatus,
     "EINOUTERROR : Access denied",
     {"batch.Txt", "batch.xml"},
     {{"batch.xml", ReadFile(Worked + "/batch.xml")}}},
    {"PathOf300BytesInShortFolderNames",
     [](const ScratchFolder& folder) {
         std::filesystem::create_directories(folder / DeepFolder);
         WriteFile(folder / (DeepFolder + "batch.xml"), ReadFile(Worked + "/batch.xml"));
         return DeepFolder + "batch.xml";
     },
     NotFoundStatus,
     "",
     {"folder-ab"},
     {{DeepFolder + "batch.Txt",
       Lines({DeepFolder + "batch0001.Xml", DeepFolder + "batch0002.Xml"})},
      {DeepFolder + "batch0001.Xml", ReadFile(Worked + "/batch0001.Xml")},
      {DeepFolder + "batch0002.Xml", ReadFile(Worked + "/batch0002.Xml")}}},
};

class PlacedInputs : public testing::TestWithParam<PlaceCase> {};

TEST_P(PlacedInputs, EndClearlyWithoutHanging) {
    const PlaceCase& c = GetParam();
    ScratchFolder folder;
    std::string argument = c.Place(folder);
    ASSERT_EQ(argument.size() == 300, std::string(c.Name).find("300") != std::string::npos);
    ProgramResult result = RunFormsplit({argument}, folder.Path());
    EXPECT_EQ(result.Status, c.Status) << result.Stderr;
    EXPECT_EQ(ReportLine(result), c.Report);
    EXPECT_EQ(FolderEntries(folder.Path()), c.Entries);
    ExpectFiles(folder.Path(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Hostile, PlacedInputs, testing::ValuesIn(PlaceCases),
                         [](const testing::TestParamInfo<PlaceCase>& info) {
                             return info.param.Name;
                         });

TEST(Hostile, ANamedPipeWithAWriterIsReadToItsEnd) {
    ScratchFolder folder;
    std::string pipe = folder / "batch.xml";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    // The test holds the writing end, opened for reading too so that it
    // need not wait for a reader, with the whole batch in the pipe; it lets
    // go once the program has taken every byte, or after a time.
    int writer = open(pipe.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    std::string batch = ReadFile(Worked + "/batch.xml");
    ASSERT_EQ(write(writer, batch.data(), batch.size()), static_cast<ssize_t>(batch.size()));
    std::thread release([writer] {
        Clock::time_point deadline = Clock::now() + 10s;
        int waiting = 1;
        while (Clock::now() < deadline && ioctl(writer, FIONREAD, &waiting) == 0 && waiting > 0) {
            std::this_thread::sleep_for(10ms);
        }
        close(writer);
    });
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());
    release.join();
    EXPECT_EQ(result.Status, NotFoundStatus) << result.Stderr;
    ExpectFiles(folder.Path(), {{"batch.Txt", ReadFile(Worked + "/batch.Txt")},
                                {"batch0001.Xml", ReadFile(Worked + "/batch0001.Xml")},
                                {"batch0002.Xml", ReadFile(Worked + "/batch0002.Xml")}});
}

// --- Writes that the system refuses ----------------------------------------

// One form of about 400 KiB: several buffers of output.
const std::string LargeForm = [] {
    std::vector<std::string> form = {FormStart};
    for (int i = 0; i < 8000; ++i)
        form.push_back("<field id='" + std::to_string(i) + "'>some text of the form</field>");
    form.push_back(FormEnd);
    return Lines(Concat(Concat({Root}, form), {Footer}));
}();

// Whatever a case sets up to make the writes fail, released after the run.
using Arrangement = std::shared_ptr<void>;

struct RefusedWriteCase {
    const char* Name;
    std::function<Arrangement(const ScratchFolder&, RunOptions&)> Arrange;
};

const std::vector<RefusedWriteCase> RefusedWriteCases = {
    // The first form file is a pipe whose reader takes one byte and leaves:
    // the writes after that meet a pipe without a reader.
    {"ReaderOfTheFormFileLeaves",
     [](const ScratchFolder& folder, RunOptions&) -> Arrangement {
         const std::string pipe = folder / "batch0001.Xml";
         if (mkfifo(pipe.c_str(), 0644) != 0) return nullptr;
         const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         auto leaving = std::make_shared<std::thread>([reader] {
             pollfd waiting{reader, POLLIN, 0};
             char byte;
             if (poll(&waiting, 1, 10000) == 1 && read(reader, &byte, 1) == 1) {}
             close(reader);
         });
         return Arrangement(leaving.get(), [leaving](void*) { leaving->join(); });
     }},
    // A limit on the size of a file (ulimit -f) below the form's size.
    {"FileSizeLimit",
     [](const ScratchFolder&, RunOptions& options) -> Arrangement {
         options.FileSizeLimit = 100 * 1024;
         return std::make_shared<int>(0);
     }},
};

class RefusedWrites : public testing::TestWithParam<RefusedWriteCase> {};

// A write that fails is an I/O error like any other, not the end of the
// process by a signal: the report is shown, the list file keeps the form's
// name, and the run ends with 217.
TEST_P(RefusedWrites, AreDiskFullAndKeepTheListFile) {
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", LargeForm);
    RunOptions options;
    Arrangement arranged = GetParam().Arrange(folder, options);
    ASSERT_NE(arranged, nullptr);
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path(), options);
    arranged.reset();
    EXPECT_EQ(result.Status, FatalStatus) << result.Stderr;
    EXPECT_EQ(ReportLine(result), "EINOUTERROR : Disk Full");
    EXPECT_EQ(ReadFile(folder / "batch.Txt"), Lines({"batch0001.Xml"}));
}

INSTANTIATE_TEST_SUITE_P(Hostile, RefusedWrites, testing::ValuesIn(RefusedWriteCases),
                         [](const testing::TestParamInfo<RefusedWriteCase>& info) {
                             return info.param.Name;
                         });

// The report itself meets a standard error whose reader is gone (as under
// "formsplit missing.xml 2>&1 | head -c1"): the run still ends with 217.
TEST(Hostile, AReportThatNobodyReadsStillEndsWith217) {
    ScratchFolder folder;
    RunOptions options;
    options.StderrReaderGone = true;
    ProgramResult result = RunFormsplit({"missing.xml"}, folder.Path(), options);
    EXPECT_EQ(result.Status, FatalStatus);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{});
}

// --- Size --------------------------------------------------------------------

constexpr size_t Mebibyte = 1024 * 1024;

// Writes head, `count` copies of `block`, then tail, without holding the
// whole file in memory.
void WriteLargeFile(const std::string& path, const std::string& head, const std::string& block,
                    size_t count, const std::string& tail) {
    std::ofstream out(path, std::ios::binary);
    out << head;
    for (size_t i = 0; i < count; ++i)
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    out << tail;
}

// Whether a file holds exactly head, `count` copies of `block`, then tail.
bool HoldsLargeContent(const std::string& path, const std::string& head, const std::string& block,
                       size_t count, const std::string& tail) {
    std::ifstream in(path, std::ios::binary);
    auto next = [&in](size_t n) {
        std::string bytes(n, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(n));
        bytes.resize(static_cast<size_t>(in.gcount()));
        return bytes;
    };
    if (next(head.size()) != head) return false;
    for (size_t i = 0; i < count; ++i) {
        if (next(block.size()) != block) return false;
    }
    return next(tail.size() + 1) == tail;
}

// The largest resident size of any child the test has waited for so far.
size_t PeakChildBytes() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

struct LongLineCase {
    const char* Name;
    std::string Head;
    std::string Tail;
    int Status;
    std::string Report;
};

// 200 MiB of text without a tag or a line end, on one line.
const std::string LongLineBlock = Garbage(Mebibyte, std::string("\r\n\x1A<", 4));
constexpr size_t LongLineBlocks = 200;

const std::vector<LongLineCase> LongLineCases = {
    // Held as a header line it passes the limit on header text.
    {"AsTheWholeInput", "", "", FatalStatus, "EINOUTERROR : Invalid input"},
    // Inside a form it is written to the form file, whole.
    {"InsideAForm", Lines({Root, FormStart}), "\r\n" + Lines({FormEnd, Footer}), NotFoundStatus,
     ""},
};

class LongLine : public testing::TestWithParam<LongLineCase> {};

TEST_P(LongLine, IsHandledInTimeAndMemory) {
    const LongLineCase& c = GetParam();
    ScratchFolder folder;
    WriteLargeFile(folder / "batch.xml", c.Head, LongLineBlock, LongLineBlocks, c.Tail);
    Clock::time_point start = Clock::now();
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());
    EXPECT_LT(Clock::now() - start, 20s);
    EXPECT_LT(PeakChildBytes(), 1024 * Mebibyte);
    EXPECT_EQ(result.Status, c.Status) << result.Stderr;
    EXPECT_EQ(ReportLine(result), c.Report);
    if (c.Status == NotFoundStatus) {
        EXPECT_EQ(ReadFile(folder / "batch.Txt"), Lines({"batch0001.Xml"}));
        EXPECT_TRUE(HoldsLargeContent(folder / "batch0001.Xml", c.Head, LongLineBlock,
                                      LongLineBlocks, c.Tail));
    } else {
        EXPECT_EQ(FolderEntries(folder.Path()),
                  (std::vector<std::string>{"batch.Txt", "batch.xml"}));
        EXPECT_EQ(ReadFile(folder / "batch.Txt"), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Hostile, LongLine, testing::ValuesIn(LongLineCases),
                         [](const testing::TestParamInfo<LongLineCase>& info) {
                             return info.param.Name;
                         });

// Text without a tag takes its fate from what ends it, so a stretch of it
// is held until then: one larger than the memory cannot be split.
TEST(Hostile, AStretchWithoutATagLargerThanTheMemoryIsOutOfMemoryAndKeepsWhatWasWritten) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    ScratchFolder folder;
    std::string head = Lines({Root, FormStart});
    WriteLargeFile(folder / "batch.xml", head, LongLineBlock, 100,
                   "\r\n" + Lines({FormEnd, Footer}));
    ProgramResult result =
        RunFormsplit({"batch.xml"}, folder.Path(), RunOptions{{}, 64 * Mebibyte});
    EXPECT_EQ(result.Status, FatalStatus) << result.Stderr;
    EXPECT_EQ(ReportLine(result), "EOUTOFMEMORY : Out of memory");
    EXPECT_EQ(ReadFile(folder / "batch.Txt"), Lines({"batch0001.Xml"}));
    EXPECT_EQ(ReadFile(folder / "batch0001.Xml"), head);
}

// A one-line batch of a gibibyte of ordinary forms, fed through a named
// pipe in a RAM-backed folder, splits in 64 MiB of address space: memory
// grows with the largest form, not with the line or the input.
constexpr size_t Gibibyte = 1024 * Mebibyte;
const std::string OneLineHeader = "<?xml version='1.0'?><nyomtatvanyok xmlns='urn:forms'>";

// The text of form `number` between its tags, about 10 KB.
std::string OneLineForm(int number) {
    static const std::string fields = [] {
        std::string text;
        for (int i = 0; i < 120; ++i)
            text += "<field id='F" + std::to_string(i) +
                    "'>\xE1rv\xEDzt\xFBr\xF5 t\xFCk\xF6rf\xFAr\xF3g\xE9p</field>";
        return text;
    }();
    return "<field id='N'>" + std::to_string(number) + "</field>" + fields;
}

// Writes to a pipe from a thread of its own until everything is taken or
// Stop is called.
class PipeFeeder {
public:
    explicit PipeFeeder(const std::string& path) {
        // Opened for reading too, so that it need not wait for a reader.
        fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    ~PipeFeeder() {
        Stop();
        if (fd_ >= 0) close(fd_);
    }
    bool Opened() const { return fd_ >= 0; }
    // Runs `produce` on the thread; it hands its bytes to Put. Once it is
    // done and the reader has taken every byte, the pipe is closed.
    void Start(std::function<void(PipeFeeder&)> produce) {
        thread_ = std::thread([this, produce] {
            produce(*this);
            int waiting = 1;
            while (!stopped_ && ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0)
                std::this_thread::sleep_for(10ms);
            close(fd_);
            fd_ = -1;
        });
    }
    void Put(std::string_view bytes) {
        while (!bytes.empty() && !stopped_) {
            ssize_t n = write(fd_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<size_t>(n));
                continue;
            }
            pollfd ready{fd_, POLLOUT, 0};
            poll(&ready, 1, 100);
        }
    }
    void Stop() {
        stopped_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    int fd_ = -1;
    std::atomic<bool> stopped_{false};
    std::thread thread_;
};

TEST(Hostile, AOneLineGibibyteBatchSplitsIn64MebibytesOfAddressSpace) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    ScratchFolder folder("/dev/shm");
    ASSERT_EQ(mkfifo((folder / "batch.xml").c_str(), 0644), 0);
    PipeFeeder feeder(folder / "batch.xml");
    ASSERT_TRUE(feeder.Opened());
    const int forms = static_cast<int>(Gibibyte / OneLineForm(1).size()) + 1;
    feeder.Start([forms](PipeFeeder& pipe) {
        pipe.Put(OneLineHeader + "<ormu><v>1.0</v></ormu>");
        for (int number = 1; number <= forms; ++number)
            pipe.Put(FormStart + OneLineForm(number) + FormEnd);
        pipe.Put(Footer + "\r\n");
    });
    RunOptions options;
    options.MemoryLimit = 64 * Mebibyte;
    options.MeasurePeak = true;
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path(), options);
    feeder.Stop();
    ASSERT_EQ(result.Status, NotFoundStatus) << result.Stderr;
    EXPECT_LE(result.PeakBytes, 8 * Mebibyte);
    std::string list = ReadFile(folder / "batch.Txt");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), forms);
    EXPECT_EQ(FolderEntries(folder.Path()).size(), static_cast<size_t>(forms) + 2);
    for (int number = 1; number <= forms; ++number) {
        std::string expected =
            Lines({OneLineHeader, FormStart, OneLineForm(number) + FormEnd, Footer});
        if (ReadFile(folder / FormName(number)) != expected) {
            ADD_FAILURE() << FormName(number) << " differs";
            break;
        }
    }
}

// The sanitizers' own memory counts in a program's peak.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool PeakIsTheProgramsOwn = false;
#else
constexpr bool PeakIsTheProgramsOwn = true;
#endif

// The header is held in one block: a mebibyte of one-byte header lines
// costs its bytes and their line ends, not a string for every line.
TEST(Hostile, AHeaderOfOneByteLinesCostsItsBytes) {
    const size_t lines = Mebibyte - Root.size();
    ScratchFolder folder("/dev/shm");
    WriteLargeFile(folder / "batch.xml", "", "h\r\n", lines, Lines({Root, FormStart, FormEnd}));
    RunOptions options;
    options.MeasurePeak = true;
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path(), options);
    ASSERT_EQ(result.Status, NotFoundStatus) << result.Stderr;
    if (PeakIsTheProgramsOwn) {
        EXPECT_LE(result.PeakBytes, 8 * Mebibyte);
    }
    EXPECT_TRUE(HoldsLargeContent(folder / "batch0001.Xml", "", "h\r\n", lines,
                                  Lines({Root, FormStart, FormEnd, Footer})));
}

TEST(Hostile, AHundredThousandFormsAreNumberedPast65535) {
    constexpr int Forms = 100000;
    std::string input = Root + "\r\n";
    for (int i = 1; i <= Forms; ++i) input += FormStart + std::to_string(i) + FormEnd + "\r\n";
    ScratchFolder folder;
    WriteFile(folder / "batch.xml", input);
    ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());
    EXPECT_EQ(result.Status, NotFoundStatus) << result.Stderr;
    EXPECT_EQ(FolderEntries(folder.Path()).size(), static_cast<size_t>(Forms) + 2);
    std::string list = ReadFile(folder / "batch.Txt");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), Forms);
    EXPECT_TRUE(IsPrefix("batch0001.Xml\r\nbatch0002.Xml\r\n", list));
    const std::string lastTwo = "batch99999.Xml\r\nbatch100000.Xml\r\n";
    EXPECT_EQ(list.substr(list.size() - lastTwo.size()), lastTwo);
    for (int number : {1, 65535, 65536, 100000}) {
        EXPECT_EQ(ReadFile(folder / FormName(number)),
                  Lines({Root, FormStart, std::to_string(number) + FormEnd, Footer}))
            << number;
    }
}

// Lines that end in LF alone cost no more to read than lines that end in CR.
TEST(Hostile, ManyLinesEndingInLfAloneAreReadInLinearTime) {
    constexpr size_t Size = 5 * Mebibyte;
    auto timeOf = [](char lineEnd) {
        ScratchFolder folder;
        WriteFile(folder / "batch.xml",
                  Lines({Root, FormStart}) + std::string(Size, lineEnd) + FormEnd);
        Clock::time_point start = Clock::now();
        ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path());
        EXPECT_EQ(result.Status, NotFoundStatus) << result.Stderr;
        return Clock::now() - start;
    };
    auto withCr = timeOf('\r');
    auto withLf = timeOf('\n');
    EXPECT_LT(withLf, 3 * withCr + 300ms);
}

// --- A file system that fills up ---------------------------------------------

// A 1 MiB file system mounted in the folder for as long as this lives.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& path) : path_(path) {
        mkdir(path.c_str(), 0755);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=1m") == 0;
        error_ = errno;
    }
    ~SmallFileSystem() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool Mounted() const { return mounted_; }
    const char* Error() const { return std::strerror(error_); }

private:
    std::string path_;
    bool mounted_ = false;
    int error_ = 0;
};

TEST(Hostile, AFullFileSystemIsDiskFullAndKeepsWhatWasClosed) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    ScratchFolder folder;
    SmallFileSystem small(folder / "small");
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << small.Error();

    // 40 forms of about 50 KiB: twice what the file system holds. The batch
    // itself stays outside; a link to it puts every output on the small one.
    constexpr int Forms = 40;
    std::vector<std::string> expected;
    std::string input = Root + "\r\n";
    for (int i = 1; i <= Forms; ++i) {
        std::vector<std::string> form = {FormStart};
        for (int j = 0; j < 1000; ++j) {
            form.push_back("<field id='" + std::to_string(j) + "'>form " + std::to_string(i) +
                           "</field>");
        }
        form.push_back(FormEnd);
        input += Lines(form);
        expected.push_back(Lines(Concat(Concat({Root}, form), {Footer})));
    }
    WriteFile(folder / "batch.xml", input);
    ASSERT_EQ(symlink((folder / "batch.xml").c_str(), (folder / "small/batch.xml").c_str()), 0);

    ProgramResult result = RunFormsplit({"small/batch.xml"}, folder.Path());
    EXPECT_EQ(result.Status, FatalStatus) << result.Stderr;
    EXPECT_EQ(ReportLine(result), "EINOUTERROR : Disk Full");

    int made = 0;
    while (made < Forms && Exists(folder / ("small/" + FormName(made + 1)))) ++made;
    ASSERT_GT(made, 1);
    ASSERT_LT(made, Forms);
    std::string list;
    for (int i = 1; i <= made; ++i) {
        std::string name = "small/" + FormName(i);
        list += name + "\r\n";
        std::string content = ReadFile(folder / name);
        const std::string& whole = expected[static_cast<size_t>(i - 1)];
        if (i < made) {
            EXPECT_TRUE(content == whole) << name << " closed but not complete";
        } else {
            EXPECT_TRUE(IsPrefix(content, whole)) << name << " holds no prefix";
        }
    }
    EXPECT_TRUE(IsPrefix(ReadFile(folder / "small/batch.Txt"), list));
}

}  // namespace
