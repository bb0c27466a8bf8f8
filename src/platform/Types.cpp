#include "platform/Types.h"

#include <cerrno>

namespace platform {
namespace {

thread_local DWORD tLastError = 0;

}  // namespace

DWORD GetLastError() {
    return tLastError;
}
void SetLastError(DWORD code) {
    tLastError = code;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
        case EFBIG:  // the target cannot hold the file, as a full one cannot
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EIO:
            return ERROR_READ_FAULT;
        default:
            return ERROR_CANNOT_MAKE;
    }
}

}  // namespace platform
