// Runs the whole program inside the test process, over a fake platform (or
// anything in front of one whose ExitProcess throws FakeExit).
#pragma once

#include <string>
#include <vector>

#include "tests/fake_platform.h"

// Runs the program with `arguments` (the program's name first) and gives
// the status it ended with.
uint32_t RunInProcess(platform::Platform& platform, std::vector<std::string> arguments);
