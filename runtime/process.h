// The life of the process: start-up of the run-time services, the report
// of an error that reached the top, and the one end of the process.
#pragma once

#include <cstdint>
#include <new>

#include "runtime/errors.h"

// Writes the report of an error that reached the top and ends with 217.
[[noreturn]] void ReportUnhandled(const FatalError& error);
// Reports the out-of-memory error made at start-up, allocating nothing.
[[noreturn]] void ReportOutOfMemory();

// Ends the process with `status`: shows what the error box still holds,
// removes the fault filter and exits. The status is passed on whole.
[[noreturn]] void EndProcess(uint32_t status = 0);

// Runs the program's main procedure to the end of the process, the one
// place where a run ends: an error that leaves it is reported and ends the
// process with 217, a normal return ends it with the status it returns.
template <typename Procedure>
[[noreturn]] void RunToEnd(Procedure&& mainProcedure) {
    uint32_t status;
    try {
        status = mainProcedure();
    } catch (const FatalError& error) {
        ReportUnhandled(error);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    EndProcess(status);
}

// Start-up of the run-time services: fault filter, error box, the fatal
// error made for heap exhaustion. Resets every process-wide record of the
// run-time, so that a test can run the program again in one process.
void StartRuntime();
