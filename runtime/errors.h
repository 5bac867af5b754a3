// The one way formsplit fails: a FatalError travels up to the top of the
// program, where ReportUnhandled shows the report and ends with status 217.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

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

// The place in code that the current function returns to, as reports print
// it: for the raise of a pending I/O error, the point just after the check.
#define FORMSPLIT_HERE_ADDRESS() (platform::Current().CodeAddress(__builtin_return_address(0)))

// Raise a fatal error for a run-time error number, or with a kind and
// message of its own; the address is the place of the raise.
[[noreturn]] void RaiseNumberedError(uint16_t number, uint32_t address);
// The same, with the address of the caller's place of the raise.
[[noreturn]] void RaiseNumberedError(uint16_t number);
[[noreturn]] void RaiseError(std::string_view kindName, std::string_view message);

// The run-time error number for a processor fault code; 0 when the code is
// not one that the program turns into an error.
uint16_t FaultNumber(uint32_t faultCode);
