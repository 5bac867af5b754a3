// The one way formsplit fails: a FatalError travels up to the top of the
// program, where ReportUnhandled shows the report and ends with status 217.
#pragma once

#include <cstdint>
#include <new>
#include <string_view>

// A fatal error: fixed-size texts, so that making and reporting one never
// needs the heap (heap exhaustion is one of the errors reported this way).
struct FatalError {
    char KindName[256];
    char Message[256];
    uint32_t Address;
};

// Run-time error numbers the program raises by name.
constexpr uint16_t ErrorOutOfMemory = 203;
constexpr uint16_t ErrorInvalidInput = 106;
constexpr uint16_t FatalExitStatus = 217;

// The error that `number` stands for, from ErrorKindTable.
FatalError NumberedError(uint16_t number, uint32_t address);
FatalError MakeFatalError(std::string_view kindName, std::string_view message, uint32_t address);

// Raise a fatal error for a run-time error number, or with a kind and
// message of its own; the address is the place of the raise.
[[noreturn]] void RaiseNumberedError(uint16_t number, uint32_t address);
// The same, with the address of the caller's place of the raise.
[[noreturn]] void RaiseNumberedError(uint16_t number);
[[noreturn]] void RaiseError(std::string_view kindName, std::string_view message);

// The process-wide I/O error number of the text files; 0 means none.
extern uint16_t PendingIoError;

// Raises the fatal error for the pending I/O error number and clears it;
// the address is the point its call returns to, in the procedure that
// checked. It never returns, but is not declared so: the compiler merges
// calls that cannot return into one call for all the checks of a procedure,
// and puts nothing after such a call, so that its return point may lie in
// the next procedure. A call that may return keeps a return point of its
// own, in the procedure that made it (the build makes no call a tail call).
[[gnu::noinline, gnu::cold]] void RaisePendingIoError();

// Follows every TextFile operation but Bind: a pending I/O error number
// becomes a fatal error whose address is the point just after the check.
// Always inlined, also in a build without optimisation, so that each check
// makes a call of its own in the procedure that checks.
[[gnu::always_inline]] inline void IoCheck() {
    if (PendingIoError != 0) RaisePendingIoError();
}

// Writes the report of an error that reached the top and ends with 217.
[[noreturn]] void ReportUnhandled(const FatalError& error);
// Reports the out-of-memory error made at start-up, allocating nothing.
[[noreturn]] void ReportOutOfMemory();

// Ends the process with `status`: shows what the error box still holds,
// removes the fault filter and exits. The status is passed on whole.
[[noreturn]] void EndProcess(uint32_t status = 0);

// Runs the program's main procedure to the end of the process: an error
// that leaves it is reported and ends the process with 217, a normal return
// ends it with 0.
template <typename Procedure>
[[noreturn]] void RunToEnd(Procedure&& mainProcedure) {
    try {
        mainProcedure();
    } catch (const FatalError& error) {
        ReportUnhandled(error);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    EndProcess(0);
}

// Start-up of the run-time services: fault filter, error box, the fatal
// error made for heap exhaustion. Resets every process-wide record of the
// run-time, so that a test can run the program again in one process.
void StartRuntime();

// The run-time error number for a processor fault code; 0 when the code is
// not one that the program turns into an error.
uint16_t FaultNumber(uint32_t faultCode);
