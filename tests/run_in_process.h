// Runs the whole program inside the test process, over a fake platform.
#pragma once

#include <string>
#include <vector>

#include "tests/fake_platform.h"

// Runs the program with `arguments` (the program's name first) and gives
// the status it ended with.
uint32_t RunInProcess(FakePlatform& fake, std::vector<std::string> arguments);
