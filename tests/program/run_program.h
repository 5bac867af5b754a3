// Runs the real formsplit executable as a batch file would: in a folder of
// the test's own, with an environment of the test's choosing.
#pragma once

#include <string>
#include <vector>

#include "tests/scratch_folder.h"

struct ProgramResult {
    int Status;          // exit status, or 128 + signal
    std::string Stderr;  // where message boxes go on Linux
    size_t PeakBytes;    // the largest resident size the program reached, 0 if not measured
};

// How the program is started, beyond its arguments and folder.
struct RunOptions {
    std::vector<std::string> Environment;  // NAME=value, before the test's own
    size_t MemoryLimit = 0;                // bytes of address space at most, 0: none
    size_t FileSizeLimit = 0;              // bytes per written file at most, 0: none
    unsigned TimeLimit = 0;                // seconds until SIGALRM ends the program, 0: none
    // Started with SIGCHLD ignored, as a supervisor or a script may hand
    // that disposition on.
    bool ChildSignalIgnored = false;
    // Standard error is a pipe whose reader has already gone; Stderr stays
    // empty.
    bool StderrReaderGone = false;
    // The program runs under time(1), which gives its peak memory: a process
    // that the test process starts itself is charged the test's own memory
    // from the fork. Not with a time limit or SIGCHLD ignored, which would
    // reach time(1) instead of the program.
    bool MeasurePeak = false;
};

ProgramResult RunFormsplit(const std::vector<std::string>& arguments, const std::string& folder,
                           const RunOptions& options = {});

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& path);
// A registry file that points the launcher at `setupFolder`.
std::string RegistryFor(const std::string& setupFolder);
