#pragma once
// What an operation of the file system came to: done, or failed with the system's error code.
// The code travels with the answer, so that a caller several calls away reads the failure it
// got, not whatever a later call left in the thread's last-error slot.
#include "platform/Types.h"

namespace platform {

class Status {
  public:
    Status() = default;  // done
    static Status Failed(DWORD code) {
        Status s;
        s.failed_ = true;
        s.code_ = code;
        return s;
    }
    // The failure the thread's last error says, as it is now.
    static Status FromLastError() { return Failed(GetLastError()); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // The error code of a failure (0 when done).
    DWORD code() const { return code_; }

  private:
    bool failed_ = false;
    DWORD code_ = 0;
};

}  // namespace platform
