#include "tests/run_in_process.h"

#include "driver/driver.h"

uint32_t RunInProcess(platform::Platform& platform, std::vector<std::string> arguments) {
    platform::ScopedPlatform installed(platform);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    try {
        RunProgram(static_cast<int>(arguments.size()), argv.data());
    } catch (const FakeExit& exit) {
        return exit.Status;
    }
}
