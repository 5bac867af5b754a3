// The address in the report of a failing check: each place of a check gives
// an address of its own, the same in every run, in the procedure that made
// the check.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "tests/program/run_program.h"

namespace {

constexpr char AddressLineStart[] = "An unhandled exception occurred at 0x";

// The address of the report's first line, as its eight digits.
std::string ReportAddress(const ProgramResult& result) {
    const size_t at = result.Stderr.find(AddressLineStart);
    if (at == std::string::npos) return "";
    return result.Stderr.substr(at + sizeof AddressLineStart - 1, 8);
}

// The procedures that hold an address of the executable, innermost first,
// inlined ones included, as addr2line names them.
std::vector<std::string> ProceduresAt(const std::string& address) {
    const std::string command = "addr2line -f -i -C -e '" FORMSPLIT_BINARY "' 0x" + address;
    std::unique_ptr<FILE, int (*)(FILE*)> output(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> procedures;
    char line[4096];
    // The output alternates a procedure line and a place line.
    for (bool procedureLine = true; output && std::fgets(line, sizeof line, output.get());
         procedureLine = !procedureLine) {
        if (procedureLine) procedures.emplace_back(line, std::strcspn(line, "(\n"));
    }
    return procedures;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

struct FailingCheck {
    const char* Name;
    // Sets up the folder so that this check fails for batch.xml.
    void (*Arrange)(const ScratchFolder&, RunOptions&);
    const char* Report;
    const char* Procedure;  // the one that made the check
};

// A hundred small forms: small form files, and a list file of 1500 bytes.
void WriteSmallForms(const ScratchFolder& folder) {
    std::vector<std::string> lines = {"<nyomtatvanyok>"};
    for (int i = 0; i < 100; ++i)
        lines.push_back("<nyomtatvany>" + std::to_string(i) + "</nyomtatvany>");
    lines.push_back("</nyomtatvanyok>");
    WriteFile(folder / "batch.xml", Lines(lines));
}

const FailingCheck FailingChecks[] = {
    {"InputMissing", [](const ScratchFolder&, RunOptions&) {}, "EINOUTERROR : File not found",
     "SplitInput"},
    {"ListFileCannotBeCreated",
     [](const ScratchFolder& folder, RunOptions&) {
         WriteSmallForms(folder);
         mkdir((folder / "batch.Txt").c_str(), 0755);
     },
     "EINOUTERROR : Access denied", "SplitInput"},
    // The list is written out when it is closed, past the file-size limit
    // that every form file stays below.
    {"ListFileFullAtItsClose",
     [](const ScratchFolder& folder, RunOptions& options) {
         WriteSmallForms(folder);
         options.FileSizeLimit = 1000;
     },
     "EINOUTERROR : Disk Full", "SplitInput"},
    {"FormFileCannotBeCreated",
     [](const ScratchFolder& folder, RunOptions&) {
         WriteSmallForms(folder);
         mkdir((folder / "batch0001.Xml").c_str(), 0755);
     },
     "EINOUTERROR : Access denied", "StartFormFile"},
};

TEST(ReportAddress, IsOwnedByEachCheckStableAndInTheProcedureThatChecked) {
    std::set<std::string> seen;
    for (const FailingCheck& check : FailingChecks) {
        SCOPED_TRACE(check.Name);
        std::string addresses[2];
        for (std::string& address : addresses) {
            ScratchFolder folder;
            RunOptions options;
            check.Arrange(folder, options);
            const ProgramResult result = RunFormsplit({"batch.xml"}, folder.Path(), options);
            ASSERT_EQ(result.Status, 217) << result.Stderr;
            ASSERT_NE(result.Stderr.find(check.Report), std::string::npos) << result.Stderr;
            address = ReportAddress(result);
        }
        EXPECT_EQ(addresses[0], addresses[1])
            << "the same place gives the same address in every run";
        EXPECT_TRUE(seen.insert(addresses[0]).second)
            << addresses[0] << " is the address of another check";
        // The innermost procedure is the check itself, inlined; the next is
        // the procedure that made it.
        const std::vector<std::string> procedures = ProceduresAt(addresses[0]);
        ASSERT_GE(procedures.size(), 2u) << addresses[0];
        EXPECT_EQ(procedures[0], "IoCheck");
        EXPECT_EQ(procedures[1], check.Procedure) << addresses[0];
    }
}

}  // namespace
