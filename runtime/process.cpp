#include "runtime/process.h"

#include <new>

#include "platform/platform.h"
#include "runtime/error_box.h"
#include "runtime/text_file.h"

namespace {

// Made at start-up, so that reporting heap exhaustion needs no heap.
FatalError outOfMemoryError;
uint32_t outOfMemoryAddress;

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
