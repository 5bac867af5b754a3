#include "runtime/errors.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "runtime/error_box.h"
#include "runtime/text_file.h"

// The place in code that the current function returns to, as reports print
// it: for the raise of a pending I/O error, the point just after the check.
#define FORMSPLIT_HERE_ADDRESS() (platform::Current().CodeAddress(__builtin_return_address(0)))

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

// Made at start-up, so that reporting heap exhaustion needs no heap.
FatalError outOfMemoryError;
uint32_t outOfMemoryAddress;

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

void FormatHex8(char (&out)[9], uint32_t value) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (int i = 7; i >= 0; --i) {
        out[i] = Digits[value & 0xF];
        value >>= 4;
    }
    out[8] = '\0';
}

// The heap is exhausted: remember where operator new failed and unwind to
// the top, which reports the error made at start-up.
void OnHeapExhausted() {
    outOfMemoryAddress = FORMSPLIT_HERE_ADDRESS();
    throw std::bad_alloc();
}

bool OnProcessorFault(uint32_t faultCode, uint32_t address) {
    uint16_t number = FaultNumber(faultCode);
    if (number == 0) return false;
    ReportUnhandled(NumberedError(number, address));
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

void RaisePendingIoError() {
    uint16_t number = PendingIoError;
    PendingIoError = 0;
    RaiseNumberedError(number, FORMSPLIT_HERE_ADDRESS());
}

void ReportUnhandled(const FatalError& error) {
    // Whatever the run had written reaches its files before the user is told.
    WriteOutOpenFiles();
    PendingIoError = 0;
    char address[9];
    FormatHex8(address, error.Address);
    ErrorBox::Write("An unhandled exception occurred at 0x");
    ErrorBox::Write(address);
    ErrorBox::WriteLine(" :");
    ErrorBox::Write(error.KindName);
    ErrorBox::Write(" : ");
    ErrorBox::WriteLine(error.Message);
    ErrorBox::Write("  0x");
    ErrorBox::WriteLine(address);
    ErrorBox::WriteLine("");
    EndProcess(FatalExitStatus);
}

void ReportOutOfMemory() {
    outOfMemoryError.Address = outOfMemoryAddress;
    ReportUnhandled(outOfMemoryError);
}

void EndProcess(uint32_t status) {
    platform::Platform& p = platform::Current();
    ErrorBox::Close();
    p.SetFaultFilter(nullptr);
    p.ExitProcess(status);
    __builtin_unreachable();  // the compiler does not carry [[noreturn]] through a virtual call
}

void StartRuntime() {
    platform::Current().SetFaultFilter(OnProcessorFault);
    ErrorBox::Reset();
    FetchStandardHandles();
    PendingIoError = 0;
    outOfMemoryError = NumberedError(ErrorOutOfMemory, 0);
    outOfMemoryAddress = 0;
    std::set_new_handler(OnHeapExhausted);
}
