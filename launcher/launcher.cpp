#include "launcher/launcher.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "runtime/errors.h"

namespace {

// Taken from the root key HKEY_CURRENT_USER: the leading backslash says so.
constexpr std::string_view SetupKeyPath = "\\Software\\Ormu6";
constexpr char SetupValueName[] = "SetupPath";
constexpr std::string_view ProgramFileName = "Ormu.Exe";
constexpr std::string_view ImportSwitch = "-i@";
constexpr std::string_view ProgramPathQuote = "\"";
constexpr std::string_view CommandLineGap = "  ";

constexpr std::string_view RegistryErrorKind = "EREGISTRYEXCEPTION";
constexpr std::string_view InvalidTypeFormat = "Invalid registry data type: \"%s\"";
constexpr std::string_view NoDataFormat = "Failed to get data for value \"%s\"";

// The registry key of the setup folder, open for as long as this lives, so
// that it is closed on every way out, a registry error included. It is
// opened for reading only: nothing is ever written to it, so a key that the
// user may read but not change serves as well.
class SetupKey {
public:
    SetupKey() {
        const std::string_view belowRoot = SetupKeyPath.substr(1);
        isOpen_ = platform::Current().RegOpenKeyExA(std::string(belowRoot).c_str(), &key_) ==
                  platform::ErrorSuccess;
    }
    ~SetupKey() {
        if (isOpen_) platform::Current().RegCloseKey(key_);
    }
    SetupKey(const SetupKey&) = delete;
    SetupKey& operator=(const SetupKey&) = delete;

    bool IsOpen() const { return isOpen_; }
    platform::Handle Key() const { return key_; }

private:
    platform::Handle key_ = platform::InvalidHandle;
    bool isOpen_ = false;
};

// The message format with the value name in place of its "%s".
std::string MessageFor(std::string_view format, std::string_view valueName) {
    std::string message(format);
    return message.replace(message.find("%s"), 2, valueName);
}

[[noreturn]] void RaiseRegistryError(std::string_view format) {
    RaiseError(RegistryErrorKind, MessageFor(format, SetupValueName));
}

bool IsStringType(uint32_t type) {
    return type == platform::RegSz || type == platform::RegExpandSz;
}

}  // namespace

std::string ReadSetupPath() {
    const SetupKey setupKey;
    if (!setupKey.IsOpen()) return std::string();

    platform::Platform& system = platform::Current();
    uint32_t type = platform::RegNone;
    uint32_t size = 0;
    // A missing value, like any failure to learn type and size, counts as
    // one of no type: it gets the same report as a value that is no string.
    if (system.RegQueryValueExA(setupKey.Key(), SetupValueName, &type, nullptr, &size) !=
        platform::ErrorSuccess) {
        type = platform::RegNone;
        size = 0;
    }
    if (!IsStringType(type)) RaiseRegistryError(InvalidTypeFormat);
    if (size == 0) return std::string();

    std::vector<uint8_t> data(size);
    if (system.RegQueryValueExA(setupKey.Key(), SetupValueName, &type, data.data(), &size) !=
        platform::ErrorSuccess) {
        RaiseRegistryError(NoDataFormat);
    }
    // The last byte is taken for the terminating zero, whether it is one or
    // not: a value stored without it loses its last character. Nothing else
    // is changed; %NAME% in an expandable string stays as it is.
    const size_t textSize = size == 0 ? 0 : std::min<size_t>(size, data.size()) - 1;
    return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(textSize));
}

bool EntryExists(const std::string& path) {
    platform::Platform& system = platform::Current();
    const platform::Handle search = system.FindFirstFileA(path.c_str());
    if (search == platform::InvalidHandle) return false;
    system.FindClose(search);
    return true;
}

std::string BuildCommandLine(std::string_view programPath, std::string_view parameterText) {
    // Neither part is ever cut: a long path keeps both its quotes and the
    // parameter text its closing quote, whatever their lengths.
    std::string commandLine;
    const bool needsQuotes = programPath.find('"') == std::string_view::npos;
    if (needsQuotes) commandLine += ProgramPathQuote;
    commandLine += programPath;
    if (needsQuotes) commandLine += ProgramPathQuote;
    commandLine += CommandLineGap;
    commandLine += parameterText;
    return commandLine;
}

uint32_t RunAndWait(const std::string& commandLine) {
    platform::Platform& system = platform::Current();
    platform::ProcessInfo started;
    // A program that cannot be started counts as one that cannot be found,
    // so that a failed start never looks like success to the caller.
    if (!system.CreateProcessA(commandLine.c_str(), &started)) return ProgramNotFoundStatus;
    system.CloseHandle(started.Thread);

    uint32_t status = WaitFailedStatus;
    uint32_t exitCode = 0;
    // An exit code that cannot be read after the wait is as unknown as the
    // end of a failed wait, and is reported the same way.
    if (system.WaitForSingleObject(started.Process) != platform::WaitFailed &&
        system.GetExitCodeProcess(started.Process, &exitCode)) {
        status = exitCode;
    }
    system.CloseHandle(started.Process);
    return status;
}

uint32_t LaunchImport(std::string_view listFileName) {
    const std::string setupFolder = ReadSetupPath();
    if (setupFolder.empty()) return ProgramNotFoundStatus;

    // No separator is put in: the folder is expected to end with one.
    const std::string programPath = setupFolder + std::string(ProgramFileName);
    if (!EntryExists(programPath)) return ProgramNotFoundStatus;

    // The list file's name in quotes that the form program's start-up code
    // reads back as exactly that name, whatever bytes it holds.
    std::string parameterText(ImportSwitch);
    parameterText += platform::Current().QuotedArgument(listFileName);
    // The exit code is passed on whole; where the system keeps only its low
    // byte, that is what the caller sees.
    return RunAndWait(BuildCommandLine(programPath, parameterText));
}
