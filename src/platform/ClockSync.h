#pragma once
// What the kernel says of this machine's clock: whether something (NTP, PTP) keeps it
// synchronised, and how far off it may be.
#include <string>

namespace platform {

struct ClockSync {
    bool known = false;                // the kernel could be asked
    bool synchronised = false;         // it does not mark the clock unsynchronised
    double maxErrorSeconds = 0;        // its maximum error
    double estimatedErrorSeconds = 0;  // its estimated error
};

ClockSync KernelClockSync();

// The time now in microseconds since 1970 (UTC).
long long UtcMicroseconds();

}  // namespace platform
