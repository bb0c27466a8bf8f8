#include "backup/exhibit/PassClock.h"

#include "backup/exhibit/RecorderClock.h"

namespace exhibit {

const ClockCheck& PassClock(backup::PassJob& job) {
    std::call_once(job.clockMeasured, [&job] {
        job.clock = !job.plan().host.localMode && job.recorder
                        ? LinkClockCheck(job.recorder->MeasureClock())
                        : KernelClockCheck();
    });
    return job.clock;
}

ports::MeasuredClock MeasuredOf(const ClockCheck& clock) {
    return {clock.method, clock.offsetSeconds, clock.uncertaintySeconds};
}

}  // namespace exhibit
