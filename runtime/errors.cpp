#include "runtime/errors.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace {

struct ErrorKind {
    uint16_t Number;
    const char* KindName;
    const char* Message;
};

// Fixed byte for byte: the numbers, kind names and messages of this table,
// the layout of the report (ReportUnhandled) and the exit status 217
// (FatalExitStatus). They are what the earlier tool showed and returned,
// and what callers, batch files that test %ERRORLEVEL% and users who know
// its reports already read and test. A new error takes a number not in use.
//
// Every run-time error number the program can meet, with the kind and the
// message its report shows. Numbers not listed are reported as "EXCEPTION".
constexpr ErrorKind ErrorKindTable[] = {
    {1, "EOUTOFMEMORY", "Out of memory"},
    {2, "EINOUTERROR", "File not found"},
    {3, "EINOUTERROR", "Invalid filename"},
    {4, "EINOUTERROR", "Too many open files"},
    {5, "EINOUTERROR", "Access denied"},
    {6, "EINOUTERROR", "Invalid file handle"},
    {15, "EINOUTERROR", "Invalid drive specified"},
    {100, "EINOUTERROR", "Read past end of file"},
    {101, "EINOUTERROR", "Disk Full"},
    {102, "EINOUTERROR", "File not assigned"},
    {103, "EINOUTERROR", "File not open"},
    {104, "EINOUTERROR", "File not open for input"},
    {105, "EINOUTERROR", "File not open for output"},
    {106, "EINOUTERROR", "Invalid input"},
    {200, "EDIVBYZERO", "Division by zero"},
    {201, "ERANGEERROR", "Range check error"},
    {203, "EOUTOFMEMORY", "Out of memory"},
    {204, "EINVALIDPOINTER", "Invalid pointer operation"},
    {205, "EOVERFLOW", "Floating point overflow"},
    {206, "EOVERFLOW", "Floating point underflow"},
    {207, "EINVALIDOP", "Invalid floating point operation"},
    {211, "EABSTRACTERROR", "Abstract method called"},
    {215, "EINTOVERFLOW", "Arithmetic overflow"},
    {216, "EACCESSVIOLATION", "Access violation"},
    {219, "EINVALIDCAST", "Invalid type cast"},
    {227, "EASSERTIONFAILED", "Assertion failed"},
};

struct FaultKind {
    uint32_t Code;
    uint16_t Number;
};

// Processor faults, by Win32 exception code, and the error each becomes.
constexpr FaultKind FaultTable[] = {
    {0x80000004, 217},  // single step
    {0xC0000005, 216},  // access violation
    {0xC0000006, 217},  // in-page error
    {0xC000001D, 217},  // illegal instruction
    {0xC000008C, 201},  // array bounds exceeded
    {0xC000008D, 216},  // floating-point denormal operand
    {0xC000008E, 200},  // floating-point divide by zero
    {0xC0000090, 207},  // floating-point invalid operation
    {0xC0000091, 205},  // floating-point overflow
    {0xC0000092, 207},  // floating-point stack check
    {0xC0000093, 206},  // floating-point underflow
    {0xC0000094, 200},  // integer divide by zero
    {0xC0000095, 215},  // integer overflow
    {0xC0000096, 217},  // privileged instruction
    {0xC00000FD, 202},  // stack overflow
};

constexpr char UnknownErrorKind[] = "EXCEPTION";
constexpr char UnknownErrorFormat[] = "Unknown Run-Time error : ";

void CopyText(char (&target)[256], std::string_view text) {
    size_t n = std::min(text.size(), sizeof target - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

// The number in decimal, at least `width` digits, zero-padded on the left.
void AppendDecimal(char* out, uint32_t number, int width) {
    char digits[11];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (n < width) digits[n++] = '0';
    size_t end = std::strlen(out);
    while (n > 0) out[end++] = digits[--n];
    out[end] = '\0';
}

}  // namespace

FatalError MakeFatalError(std::string_view kindName, std::string_view message, uint32_t address) {
    FatalError error;
    CopyText(error.KindName, kindName);
    CopyText(error.Message, message);
    error.Address = address;
    return error;
}

FatalError NumberedError(uint16_t number, uint32_t address) {
    for (const ErrorKind& kind : ErrorKindTable) {
        if (kind.Number == number) return MakeFatalError(kind.KindName, kind.Message, address);
    }
    FatalError error = MakeFatalError(UnknownErrorKind, UnknownErrorFormat, address);
    AppendDecimal(error.Message, number, 3);
    return error;
}

uint16_t FaultNumber(uint32_t faultCode) {
    for (const FaultKind& fault : FaultTable) {
        if (fault.Code == faultCode) return fault.Number;
    }
    return 0;
}

void RaiseNumberedError(uint16_t number, uint32_t address) {
    throw NumberedError(number, address);
}

[[gnu::noinline]] void RaiseNumberedError(uint16_t number) {
    RaiseNumberedError(number, FORMSPLIT_HERE_ADDRESS());
}

[[gnu::noinline]] void RaiseError(std::string_view kindName, std::string_view message) {
    throw MakeFatalError(kindName, message, FORMSPLIT_HERE_ADDRESS());
}
