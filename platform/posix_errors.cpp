#include "platform/posix_errors.h"

#include <cerrno>

namespace platform {

namespace {

uint32_t lastError = 0;

struct ErrnoMapping {
    int Errno;
    uint32_t Win32;
};

// errno values and the Win32 errors a Windows file system reports for the
// same cause. EWOULDBLOCK comes from the lock that stands in for share
// mode 0: the file is held open elsewhere.
// clang-format off
constexpr ErrnoMapping ErrnoTable[] = {
    {ENOENT, ErrorFileNotFound},     {ENOTDIR, ErrorPathNotFound},    {ENXIO, ErrorFileNotFound},
    {EMFILE, ErrorTooManyOpenFiles}, {ENFILE, ErrorTooManyOpenFiles}, {EACCES, ErrorAccessDenied},
    {EPERM, ErrorAccessDenied},      {EISDIR, ErrorAccessDenied},     {EROFS, ErrorWriteProtect},
    {EWOULDBLOCK, ErrorSharingViolation},
    {ENOSPC, ErrorDiskFull},         {EDQUOT, ErrorDiskFull},         {ENAMETOOLONG, ErrorFilenameTooLong},
    {EBADF, 6},                      // ERROR_INVALID_HANDLE
    {ENOMEM, 8},                     // ERROR_NOT_ENOUGH_MEMORY
    {EEXIST, 80},                    // ERROR_FILE_EXISTS
    {EINVAL, 87},                    // ERROR_INVALID_PARAMETER
    {EPIPE, ErrorBrokenPipe},
    {EFBIG, 223},                    // ERROR_FILE_TOO_LARGE
    {ELOOP, 1921},                   // ERROR_CANT_RESOLVE_FILENAME
};
// clang-format on
constexpr uint32_t ErrorIoDevice = 1117;  // anything else: ERROR_IO_DEVICE

}  // namespace

void SetLastError(uint32_t code) {
    lastError = code;
}

bool HoldsControlCharacter(const char* name) {
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c != 0; ++c) {
        if (*c < 0x20) return true;
    }
    return false;
}

uint32_t Win32ErrorFromErrno(int error) {
    for (const ErrnoMapping& m : ErrnoTable) {
        if (m.Errno == error) return m.Win32;
    }
    return ErrorIoDevice;
}

uint32_t LastError() {
    return lastError;
}

}  // namespace platform
