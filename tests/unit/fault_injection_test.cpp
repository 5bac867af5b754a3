// Every platform call of a whole run made to fail in turn: a clean run of a
// realistic batch is traced first, then for every call N the run is repeated
// with call N failing (once, or from N on), and what the run leaves behind
// is held against the clean run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/platform_wrapper.h"
#include "runtime/text_file.h"
#include "tests/run_in_process.h"

namespace {

using platform::Handle;

constexpr uint32_t ProgramExitCode = 7;
const std::string Input = "b.xml";
const std::string ListFile = "b.Txt";

// Stands between the program and the fake during the clean run and notes,
// by call number, the kind of every call the fake counts and when each file
// was created and closed.
class Tracer final : public platform::PlatformWrapper {
public:
    explicit Tracer(FakePlatform& fake) : PlatformWrapper(fake), fake_(fake) {}

    std::vector<std::string> Kinds;      // Kinds[n - 1]: the kind of call n
    std::vector<std::string> Targets;    // Targets[n - 1]: the file call n works on, or ""
    std::map<std::string, int> Created;  // name of a file written -> call that created it
    std::map<std::string, int> Closed;   // file name -> call that closed it

    Handle CreateFileA(const char* name, platform::OpenMode mode) override {
        Handle file = Note("CreateFileA", [&] { return PlatformWrapper::CreateFileA(name, mode); });
        if (mode == platform::OpenMode::Write) Created[name] = fake_.Calls;
        Targets.back() = name;
        names_[file] = name;
        return file;
    }
    bool ReadFile(Handle file, uint8_t* buffer, uint32_t size, uint32_t* read) override {
        return Note(
            "ReadFile", [&] { return PlatformWrapper::ReadFile(file, buffer, size, read); }, file);
    }
    bool WriteFile(Handle file, const uint8_t* buffer, uint32_t size, uint32_t* written) override {
        return Note(
            "WriteFile", [&] { return PlatformWrapper::WriteFile(file, buffer, size, written); },
            file);
    }
    bool CloseHandle(Handle handle) override {
        bool closed = Note(
            "CloseHandle", [&] { return PlatformWrapper::CloseHandle(handle); }, handle);
        if (names_.count(handle) != 0) Closed[names_[handle]] = fake_.Calls;
        return closed;
    }
    platform::FileType GetFileType(Handle file) override {
        return Note(
            "GetFileType", [&] { return PlatformWrapper::GetFileType(file); }, file);
    }
    int32_t RegOpenKeyExA(const char* subKey, Handle* key) override {
        return Note("RegOpenKeyExA", [&] { return PlatformWrapper::RegOpenKeyExA(subKey, key); });
    }
    int32_t RegQueryValueExA(Handle key, const char* name, uint32_t* type, uint8_t* data,
                             uint32_t* size) override {
        return Note("RegQueryValueExA",
                    [&] { return PlatformWrapper::RegQueryValueExA(key, name, type, data, size); });
    }
    Handle FindFirstFileA(const char* path) override {
        return Note("FindFirstFileA", [&] { return PlatformWrapper::FindFirstFileA(path); });
    }
    bool CreateProcessA(const char* commandLine, platform::ProcessInfo* started) override {
        return Note("CreateProcessA",
                    [&] { return PlatformWrapper::CreateProcessA(commandLine, started); });
    }
    uint32_t WaitForSingleObject(Handle process) override {
        return Note("WaitForSingleObject",
                    [&] { return PlatformWrapper::WaitForSingleObject(process); });
    }
    bool GetExitCodeProcess(Handle process, uint32_t* code) override {
        return Note("GetExitCodeProcess",
                    [&] { return PlatformWrapper::GetExitCodeProcess(process, code); });
    }

private:
    template <typename Call>
    auto Note(const char* kind, Call call, Handle file = platform::InvalidHandle)
        -> decltype(call()) {
        int before = fake_.Calls;
        auto result = call();
        // Only the calls the fake counts (and can fail) get a number.
        if (fake_.Calls != before) {
            Kinds.push_back(kind);
            auto name = names_.find(file);
            Targets.push_back(name != names_.end() ? name->second : "");
        }
        return result;
    }

    FakePlatform& fake_;
    std::map<Handle, std::string> names_;
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

// A form well over one 64 KiB buffer, so that it is written out in the
// middle: many ordinary lines and one attachment line longer than a buffer.
std::vector<std::string> LargeFormBody() {
    std::vector<std::string> body;
    for (int i = 0; i < 1500; ++i)
        body.push_back("    <field id='B" + std::to_string(i) + "'>value</field>");
    body.push_back("    <attachment>" + std::string(70000, 'Q') + "</attachment>");
    return body;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> Prolog = {"<?xml version='1.0' encoding='windows-1250'?>",
                                         "<nyomtatvanyok xmlns='urn:forms'",
                                         "               version='2.0'>",
                                         "  <ormu>",
                                         "    <version>1.0</version>",
                                         "  </ormu>"};

struct Batch {
    const char* Name;
    std::string Input;
};

const std::vector<Batch> Batches = {
    {"ClosedForms",
     Lines(Concat(Concat(Concat(Prolog, {"  <nyomtatvany>", "    <field id='A1'>1234</field>",
                                         "  </nyomtatvany>", "  <nyomtatvany>"}),
                         LargeFormBody()),
                  {"  </nyomtatvany>", "", "  <nyomtatvany>", "    <field id='C1'>5678</field>",
                   "  </nyomtatvany>", "</nyomtatvanyok>", "<!-- end -->"}))},
    // A form cut off by the next one and a batch that ends inside a form:
    // their files are written out and closed as they stand.
    {"UnfinishedForms",
     Lines(Concat(Concat(Prolog, {"  <nyomtatvany>"}), LargeFormBody())) +
         Lines({"  <nyomtatvany>", "    <field id='C1'>5678</field>", "  </nyomtatvany>",
                "  <nyomtatvany>", "    <field id='D1'>last</field>"}) +
         "    <field id='D2'>no line end</field>"},
};

void PrintTo(const Batch& batch, std::ostream* out) {
    *out << batch.Name;
}

struct Mode {
    const char* Name;
    uint32_t Error;
    bool Persistent;
    // The report's second line for a failing open or read with this error.
    const char* OpenOrReadLine;
};

const std::vector<Mode> Modes = {
    {"DiskFullOnce", platform::ErrorDiskFull, false, "EXCEPTION : Unknown Run-Time error : 112"},
    {"AccessDeniedOnce", platform::ErrorAccessDenied, false, "EINOUTERROR : Access denied"},
    {"NotReadyOnce", 21, false, "EXCEPTION : Unknown Run-Time error : 152"},
    {"DiskFullFromThenOn", platform::ErrorDiskFull, true,
     "EXCEPTION : Unknown Run-Time error : 112"},
    {"AccessDeniedFromThenOn", platform::ErrorAccessDenied, true, "EINOUTERROR : Access denied"},
};

void PrintTo(const Mode& mode, std::ostream* out) {
    *out << mode.Name;
}

// How a run ends when one call fails.
enum class Ending {
    AsClean,       // the failure is of no consequence: the run ends as the clean one
    OpenOrRead,    // fatal, reported with the call's own error number
    DiskFull,      // fatal: a write-out that falls short is "Disk Full", whatever the error
    RegistryType,  // fatal: the setup-path value counts as one of no type
    RegistryData,  // fatal: the setup-path data cannot be read
    NotFound,      // the form program counts as not found: status 2
    WaitFailed,    // the form program's end is unknown: status 255
};

// The ending each kind of call has; the registry query is made twice.
Ending EndingOf(const std::string& kind, int ordinal) {
    static const std::map<std::string, Ending> Table = {
        {"CreateFileA", Ending::OpenOrRead},
        {"ReadFile", Ending::OpenOrRead},
        {"WriteFile", Ending::DiskFull},
        {"GetFileType", Ending::AsClean},
        {"CloseHandle", Ending::AsClean},
        {"RegOpenKeyExA", Ending::NotFound},
        {"FindFirstFileA", Ending::NotFound},
        {"CreateProcessA", Ending::NotFound},
        {"WaitForSingleObject", Ending::WaitFailed},
        {"GetExitCodeProcess", Ending::WaitFailed},
    };
    if (kind == "RegQueryValueExA")
        return ordinal == 1 ? Ending::RegistryType : Ending::RegistryData;
    return Table.at(kind);
}

bool IsFatal(Ending ending) {
    return ending == Ending::OpenOrRead || ending == Ending::DiskFull ||
           ending == Ending::RegistryType || ending == Ending::RegistryData;
}

void Prepare(FakePlatform& fake, const std::string& input) {
    fake.Files[Input] = input;
    fake.ReadChunkLimit = 20000;  // reads come in pieces, as from a network share
    fake.KeyExists = true;
    fake.Values["SetupPath"] = {platform::RegSz, std::string("C:\\Ormu\\\0", 9)};
    fake.Files["C:\\Ormu\\Ormu.Exe"] = "";
    fake.ProgramExitCode = ProgramExitCode;
    fake.ListFileName = ListFile;
}

// The report's second line, or "" when no box was shown.
std::string ReportLine(const FakePlatform& fake) {
    if (fake.Boxes.empty()) return "";
    const std::string& text = fake.Boxes[0].Text;
    size_t start = text.find("\r\n") + 2;
    return text.substr(start, text.find("\r\n", start) - start);
}

bool IsPrefix(const std::string& prefix, const std::string& whole) {
    return prefix.size() <= whole.size() && whole.compare(0, prefix.size(), prefix) == 0;
}

struct CleanRun {
    FakePlatform Fake;
    Tracer Trace{Fake};
};

// The status of a run whose failing call has no fatal consequence.
uint32_t StatusOf(Ending ending) {
    switch (ending) {
        case Ending::NotFound: return 2;
        case Ending::WaitFailed: return 255;
        default: return ProgramExitCode;
    }
}

// The report's second line of a fatal ending but OpenOrRead, whose line
// depends on the error.
const std::map<Ending, std::string> FatalLines = {
    {Ending::DiskFull, "EINOUTERROR : Disk Full"},
    {Ending::RegistryType, "EREGISTRYEXCEPTION : Invalid registry data type: \"SetupPath\""},
    {Ending::RegistryData, "EREGISTRYEXCEPTION : Failed to get data for value \"SetupPath\""},
};

class FaultInjection : public testing::TestWithParam<std::tuple<Batch, Mode>> {
protected:
    void SetUp() override {
        Prepare(clean_.Fake, std::get<0>(GetParam()).Input);
        ASSERT_EQ(RunInProcess(clean_.Trace, {"formsplit", Input}), ProgramExitCode);
        ASSERT_EQ(static_cast<int>(Kinds().size()), clean_.Fake.Calls);
        ASSERT_TRUE(clean_.Fake.Boxes.empty());
    }

    const std::vector<std::string>& Kinds() const { return clean_.Trace.Kinds; }

    // The ending of a run whose call n fails.
    Ending ExpectedEnding(int n) const {
        const Mode& mode = std::get<1>(GetParam());
        // From n on every call fails: the first failure that matters decides.
        int last = mode.Persistent ? static_cast<int>(Kinds().size()) : n;
        for (int m = n; m <= last; ++m) {
            const std::string& kind = Kinds()[static_cast<size_t>(m - 1)];
            int ordinal = static_cast<int>(std::count(Kinds().begin(), Kinds().begin() + m, kind));
            Ending ending = EndingOf(kind, ordinal);
            if (ending != Ending::AsClean) return ending;
        }
        return Ending::AsClean;
    }

    void CheckRun(int n) {
        const Mode& mode = std::get<1>(GetParam());
        FakePlatform fake;
        Prepare(fake, std::get<0>(GetParam()).Input);
        fake.FailCall(n, mode.Error, mode.Persistent);
        uint32_t status = RunInProcess(fake, {"formsplit", Input});
        Ending ending = ExpectedEnding(n);
        SCOPED_TRACE("call " + std::to_string(n) + " (" + Kinds()[static_cast<size_t>(n - 1)] +
                     ") fails");

        EXPECT_TRUE(fake.OpenHandles.empty());
        if (!IsFatal(ending)) {
            EXPECT_EQ(fake.Files, clean_.Fake.Files);
            EXPECT_TRUE(fake.Boxes.empty());
            EXPECT_EQ(status, StatusOf(ending));
            return;
        }
        EXPECT_EQ(status, 217u);
        ASSERT_EQ(fake.Boxes.size(), 1u);
        EXPECT_EQ(fake.Boxes[0].Caption, "Error");
        EXPECT_EQ(ReportLine(fake),
                  ending == Ending::OpenOrRead ? mode.OpenOrReadLine : FatalLines.at(ending));
        EXPECT_TRUE(fake.StartedCommandLines.empty());
        CheckFilesLeftBehind(fake, n);
    }

    // Whether a file of the clean run exists before call n: it was there
    // before the run (the input, the form program) or created earlier.
    bool ExistsBefore(const std::string& name, int n) const {
        auto created = clean_.Trace.Created.find(name);
        return created == clean_.Trace.Created.end() || created->second < n;
    }

    // Files closed before call n are whole, files still open hold a prefix
    // of what the clean run gave them, files not created yet do not exist.
    void CheckFilesLeftBehind(const FakePlatform& fake, int n) {
        for (const auto& [name, content] : clean_.Fake.Files) {
            auto left = fake.Files.find(name);
            if (!ExistsBefore(name, n)) {
                EXPECT_EQ(left, fake.Files.end()) << name << " created after the failure";
                continue;
            }
            ASSERT_NE(left, fake.Files.end()) << name << " lost";
            auto closed = clean_.Trace.Closed.find(name);
            if (closed != clean_.Trace.Closed.end() && closed->second < n) {
                EXPECT_EQ(left->second, content) << name << " closed before the failure";
            } else {
                EXPECT_TRUE(IsPrefix(left->second, content))
                    << name << " is no prefix of its clean content";
            }
        }
        EXPECT_EQ(fake.Files.size(),
                  static_cast<size_t>(std::count_if(
                      clean_.Fake.Files.begin(), clean_.Fake.Files.end(),
                      [&](const auto& file) { return ExistsBefore(file.first, n); })));
        // Unless the failing call was the list's own write-out, the write-out
        // of a fatal end (which succeeds when the failure came once) puts
        // every form file made in the list.
        auto list = fake.Files.find(ListFile);
        bool listWriteFailed = clean_.Trace.Targets[static_cast<size_t>(n - 1)] == ListFile;
        if (!std::get<1>(GetParam()).Persistent && list != fake.Files.end() && !listWriteFailed) {
            std::string listed;
            for (const auto& [name, created] : clean_.Trace.Created) {
                if (name != ListFile && created < n) listed += name + "\r\n";
            }
            EXPECT_EQ(list->second, listed);
        }
    }

    CleanRun clean_;
};

TEST_P(FaultInjection, EveryFailingCallEndsTheRunAsItShould) {
    for (int n = 1; n <= static_cast<int>(Kinds().size()); ++n) CheckRun(n);
}

INSTANTIATE_TEST_SUITE_P(WholeRun, FaultInjection,
                         testing::Combine(testing::ValuesIn(Batches), testing::ValuesIn(Modes)),
                         [](const testing::TestParamInfo<std::tuple<Batch, Mode>>& info) {
                             return std::string(std::get<0>(info.param).Name) + "_" +
                                    std::get<1>(info.param).Name;
                         });

// A write-out that fails in the middle of a line drops the rest of that
// line too: the later write-out of a fatal end must not put it after a hole.
TEST(FailedWriteOut, InsideALineLeavesAPrefixOfTheFile) {
    FakePlatform fake;
    platform::ScopedPlatform installed(fake);
    PendingIoError = 0;
    fake.FailCall("WriteFile", 1, platform::ErrorDiskFull);
    TextFile file;
    file.Bind("f");
    file.CreateForWriting();
    file.WriteLine("first");
    std::string longLine(3 * TextBufferSize, 'x');
    file.WriteLine(longLine);
    EXPECT_EQ(PendingIoError, 101);
    PendingIoError = 0;
    WriteOutOpenFiles();
    EXPECT_TRUE(IsPrefix(fake.Files["f"], "first\r\n" + longLine + "\r\n"))
        << fake.Files["f"].size();
    EXPECT_TRUE(fake.OpenHandles.empty());
}

}  // namespace
