// provoke: a test-only Windows program that faults on purpose, so that the
// Wine suite can watch the fault paths of formsplit's run-time services end
// to end. It is built from the same run-time and platform code as
// formsplit.exe.
//
//   provoke <access-violation | stack-overflow | out-of-memory> <file> <line>
//
// It starts the run-time services as formsplit does, creates <file>, writes
// <line> to it (the line stays in the file's buffer) and then provokes the
// fault. The run-time services must show the error box, write the line out
// and end the process with 217. Bad arguments end it with 2.
#include <cstring>

#include "runtime/process.h"
#include "runtime/text_file.h"
#include "tests/provoked_faults.h"

namespace {

struct Provocation {
    const char* Name;
    void (*Fault)();
};

constexpr Provocation Provocations[] = {
    {"access-violation", AccessViolation},
    {"stack-overflow", StackOverflow},
    {"out-of-memory", UnmetAllocation},
};

constexpr int BadArguments = 2;

// Process-wide, like the files of formsplit itself.
TextFile Output;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return BadArguments;
    for (const Provocation& provocation : Provocations) {
        if (std::strcmp(argv[1], provocation.Name) != 0) continue;
        StartRuntime();
        RunToEnd([&] {
            Output.Bind(argv[2]);
            Output.CreateForWriting();
            IoCheck();
            Output.WriteLine(argv[3]);
            IoCheck();
            provocation.Fault();
            return 0u;
        });
    }
    return BadArguments;
}
