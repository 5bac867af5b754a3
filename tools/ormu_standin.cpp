// ormu_standin: takes the form program's place in tests and demonstrations.
//
//   ormu_standin -i@<list file>
//
// When FORMSPLIT_STANDIN_RECORD names a file, it writes there what it was
// given, one item a line:
//
//   command line=<the command line as the program received it>
//   argv[<i>]=<each argument>
//   list file=<argument 1 without its "-i@">
//   <each line of the list file> exists     (or: missing)
//
// or "list file unreadable" when the list file cannot be opened. It ends
// with the exit code in FORMSPLIT_STANDIN_EXIT (default 0), taken as an
// unsigned 32-bit number.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr char RecordVariable[] = "FORMSPLIT_STANDIN_RECORD";
constexpr char ExitVariable[] = "FORMSPLIT_STANDIN_EXIT";
constexpr std::string_view ImportSwitch = "-i@";

std::string RawCommandLine(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return GetCommandLineA();
#else
    // Linux hands a program its arguments only: they are joined as a
    // command line would hold them, quotes aside.
    std::string joined;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) joined += ' ';
        joined += argv[i];
    }
    return joined;
#endif
}

bool EntryExists(const std::string& name) {
    struct stat info;
    return stat(name.c_str(), &info) == 0;
}

void WriteLine(std::FILE* record, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), record);
    std::fputc('\n', record);
}

// Each line of the list file with whether the file it names exists; lines
// end in CR LF or LF.
void RecordListedFiles(std::FILE* record, const std::string& listFileName) {
    std::FILE* list = std::fopen(listFileName.c_str(), "rb");
    if (list == nullptr) {
        WriteLine(record, "list file unreadable");
        return;
    }
    std::string line;
    int c;
    while ((c = std::fgetc(list)) != EOF || !line.empty()) {
        if (c != EOF && c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        WriteLine(record, line + (EntryExists(line) ? " exists" : " missing"));
        line.clear();
        if (c == EOF) break;
    }
    std::fclose(list);
}

void Record(const char* recordName, int argc, char** argv) {
    std::FILE* record = std::fopen(recordName, "wb");
    if (record == nullptr) return;
    WriteLine(record, "command line=" + RawCommandLine(argc, argv));
    for (int i = 0; i < argc; ++i) WriteLine(record, "argv[" + std::to_string(i) + "]=" + argv[i]);
    std::string_view listArgument = argc > 1 ? argv[1] : "";
    if (listArgument.substr(0, ImportSwitch.size()) == ImportSwitch)
        listArgument.remove_prefix(ImportSwitch.size());
    WriteLine(record, "list file=" + std::string(listArgument));
    RecordListedFiles(record, std::string(listArgument));
    std::fclose(record);
}

uint32_t ChosenExitCode() {
    const char* text = std::getenv(ExitVariable);
    return text == nullptr ? 0 : static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* recordName = std::getenv(RecordVariable)) Record(recordName, argc, argv);
#ifdef _WIN32
    // The whole 32-bit code, which Windows passes on unchanged.
    ExitProcess(ChosenExitCode());
#else
    return static_cast<int>(ChosenExitCode() & 0xFF);
#endif
}
