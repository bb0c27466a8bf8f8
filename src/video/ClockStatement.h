#pragma once
// What an export's files say of the recorder's clock as the backup measured it: a short text
// for the file's comment, and the correction of the start its signed boxes carry.
#include <cstdint>
#include <string>

#include "ports/MeasuredClock.h"

namespace video {

// "recorder clock offset +90.002 s ± 0.004 s, measured over the link"; the offset is the
// recorder's clock less the backing-up machine's, rounded to the millisecond, and the
// uncertainty rounded up to it, so that the stated interval holds the measured one.
std::string ClockStatement(const ports::MeasuredClock& clock);

// The offset in 100 ns ticks; 0 unless it was measured over the link.
std::int64_t ClockOffsetTicks(const ports::MeasuredClock& clock);

}  // namespace video
