// What the Linux platform's files share, below all of them: the Win32 error
// number of the last failing call, errno turned into one, and the test of a
// name that Windows would refuse.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// The Win32 error number of the last failing call of this platform.
void SetLastError(uint32_t code);
uint32_t LastError();
// Whether a name holds a byte from 1 to 31, which Windows refuses in names
// of files (ERROR_INVALID_NAME).
bool HoldsControlCharacter(const char* name);
// errno as a Win32 error number.
uint32_t Win32ErrorFromErrno(int error);

}  // namespace platform
