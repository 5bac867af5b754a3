// The import launcher: finds the form program through the current user's
// registry, starts it on the list file with the group-import switch, waits
// for it and gives its exit status for the process to end with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Exit status when the form program cannot be located or cannot be started.
constexpr uint32_t ProgramNotFoundStatus = 2;
// Exit status when waiting for the form program (or asking for its exit
// code) failed.
constexpr uint32_t WaitFailedStatus = 255;

// Runs the form program on the list file and gives the status the process
// ends with; a registry value that cannot be used raises
// "EREGISTRYEXCEPTION" instead.
uint32_t LaunchImport(std::string_view listFileName);

// The folder of the form program from HKEY_CURRENT_USER\Software\Ormu6,
// value "SetupPath"; empty when the key cannot be opened.
std::string ReadSetupPath();

// Whether a directory entry of any kind has this name.
bool EntryExists(const std::string& path);

// The form program's command line: the program path in double quotes (as it
// stands when it already holds one), two spaces, the parameter text.
std::string BuildCommandLine(std::string_view programPath, std::string_view parameterText);

// Starts the command line and waits for it: the program's exit code,
// ProgramNotFoundStatus when it could not be started, WaitFailedStatus when
// its end could not be awaited.
uint32_t RunAndWait(const std::string& commandLine);
