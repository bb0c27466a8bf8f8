#pragma once
// The fixed-width integer names the recorder's file formats and records are written in.
#include <cstdint>

using DWORD = std::uint32_t;
using BOOL = std::int32_t;
using BYTE = std::uint8_t;
using UINT = std::uint32_t;

namespace platform {

// Error codes as the callers test them (the numbers of the original platform).
enum ErrorCode : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_HANDLE_EOF = 38,
    ERROR_CANNOT_MAKE = 82,
    ERROR_DISK_FULL = 112,
    ERROR_ALREADY_EXISTS = 183,
    ERROR_READ_FAULT = 30,
    ERROR_WRITE_FAULT = 29,
};

// Last error of the calling thread, set by every platform operation that fails.
DWORD GetLastError();
void SetLastError(DWORD code);
// Maps an errno value to the codes above.
DWORD ErrorFromErrno(int err);

}  // namespace platform
