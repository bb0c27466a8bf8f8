#include "platform/ClockSync.h"

#include <sys/time.h>
#include <sys/timex.h>

#include <chrono>

namespace platform {

ClockSync KernelClockSync() {
    timex t{};  // modes 0: only read
    const int state = ::adjtimex(&t);
    ClockSync sync;
    if (state == -1)
        return sync;
    sync.known = true;
    sync.synchronised = state != TIME_ERROR && (t.status & STA_UNSYNC) == 0;
    sync.maxErrorSeconds = static_cast<double>(t.maxerror) / 1e6;
    sync.estimatedErrorSeconds = static_cast<double>(t.esterror) / 1e6;
    return sync;
}

long long UtcMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace platform
