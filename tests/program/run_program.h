// Runs the real formsplit executable as a batch file would: in a folder of
// the test's own, with an environment of the test's choosing.
#pragma once

#include <string>
#include <vector>

#include "tests/scratch_folder.h"

struct ProgramResult {
    int Status;          // exit status, or 128 + signal
    std::string Stderr;  // where message boxes go on Linux
    size_t PeakBytes;    // the largest resident size the program reached
};

// With a memory limit, the program runs with that much address space at
// most (through prlimit).
ProgramResult RunFormsplit(const std::vector<std::string>& arguments, const std::string& folder,
                           const std::vector<std::string>& environment = {}, size_t memoryLimit = 0);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& path);
// A registry file that points the launcher at `setupFolder`.
std::string RegistryFor(const std::string& setupFolder);
