// The program driver: the argument table, the usage message and the run
// sequence that feeds the splitter and hands the list file to the launcher.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Entry 0 is the program's own path; entries 1..n the command-line tokens
// after the program's name, as given.
extern std::vector<std::string> ArgumentTable;
int32_t ArgumentCount();
std::string Argument(int32_t i);

// The usage message: six Windows-1250 lines joined by LF CR.
extern const char UsageText[];
extern const size_t UsageTextLength;
extern const char UsageCaption[];

// Fills ArgumentTable from the platform's command line, or from argv where
// the platform hands the program an argument vector instead.
void BuildArgumentTable(int argc, char** argv);
// The status the process ends with.
uint32_t Main();
void ShowUsage();
// The status the process ends with: 0 for a name that is not an XML
// file's, else the launcher's.
uint32_t SplitInput(std::string_view name);

// The whole life of the process: start-up, Main, the report of an error
// that reached the top, and the end.
[[noreturn]] void RunProgram(int argc, char** argv);
