#pragma once
// The recorder's clock as a pass states it. Measured once, the first time the pass needs it
// (before its first MP4 files, or at its report), so that the report and every file of the
// image give the same figures; held by the job.
#include "backup/exhibit/ExhibitFacts.h"
#include "backup/pass/PassJob.h"
#include "ports/MeasuredClock.h"

namespace exhibit {

// Over the link for a remote pass, the kernel's word for a local one.
const ClockCheck& PassClock(backup::PassJob& job);

// What the MP4 files take of it.
ports::MeasuredClock MeasuredOf(const ClockCheck& clock);

}  // namespace exhibit
