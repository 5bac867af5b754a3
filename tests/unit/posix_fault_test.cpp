// Processor faults in a real process on Linux: the fault filter turns them
// into the report of their error and the process ends with 217.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "runtime/process.h"
#include "tests/provoked_faults.h"

namespace {

struct FaultCase {
    const char* Name;
    void (*Fault)();
    const char* SecondLine;
};

class ProcessorFaults : public testing::TestWithParam<FaultCase> {};

// Runs the fault in a child process with the real platform and gives the
// child's status and what it wrote to standard error.
std::pair<int, std::string> RunFault(void (*fault)()) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {-1, ""};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[0]);
        platform::ScopedPlatform installed(platform::SystemPlatform());
        StartRuntime();
        fault();
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string output;
    char chunk[512];
    ssize_t n;
    while ((n = read(pipeEnds[0], chunk, sizeof chunk)) > 0)
        output.append(chunk, static_cast<size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), output};
}

TEST_P(ProcessorFaults, AreReportedAndEndWith217) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
    GTEST_SKIP() << "the sanitizers take these faults for their own reports";
#endif
    auto [status, output] = RunFault(GetParam().Fault);
    EXPECT_EQ(status, 217) << output;
    EXPECT_EQ(output.rfind("Error\nAn unhandled exception occurred at 0x", 0), 0u) << output;
    EXPECT_NE(output.find(std::string("\r\n") + GetParam().SecondLine + "\r\n  0x"),
              std::string::npos)
        << output;
}

INSTANTIATE_TEST_SUITE_P(
    Posix, ProcessorFaults,
    testing::Values(
        FaultCase{"AccessViolation", AccessViolation, "EACCESSVIOLATION : Access violation"},
        FaultCase{"DivisionByZero", DivisionByZero, "EDIVBYZERO : Division by zero"},
        FaultCase{"StackOverflow", StackOverflow, "EACCESSVIOLATION : Access violation"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.Name; });

}  // namespace
