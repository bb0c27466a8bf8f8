#include "backup/exhibit/RecorderClock.h"

#include "platform/ClockSync.h"

namespace exhibit {

ClockCheck LinkClockCheck(const backup::ClockMeasure& measure) {
    ClockCheck c;
    if (!measure.measured) {
        c.detail = measure.why;
        return c;
    }
    c.method = "link";
    c.offsetSeconds = measure.offsetSeconds;
    c.uncertaintySeconds = measure.uncertaintySeconds;
    // What this machine's own clock is worth, since the offset is against it.
    const platform::ClockSync own = platform::KernelClockSync();
    c.synchronised = own.known && own.synchronised;
    c.detail = !own.known         ? "this machine's own synchronisation is not known"
               : own.synchronised ? "this machine's clock is synchronised"
                                  : "this machine's clock is not synchronised";
    return c;
}

ClockCheck KernelClockCheck() {
    ClockCheck c;
    const platform::ClockSync sync = platform::KernelClockSync();
    if (!sync.known) {
        c.detail = "the kernel could not be asked";
        return c;
    }
    c.method = "kernel";
    c.synchronised = sync.synchronised;
    c.uncertaintySeconds = sync.maxErrorSeconds;
    c.detail = "estimated error " + std::to_string(sync.estimatedErrorSeconds) + " s";
    return c;
}

}  // namespace exhibit
