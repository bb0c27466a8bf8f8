#include "video/ClockStatement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace video {
namespace {

bool Measured(const ports::MeasuredClock& clock) {
    return clock.method == "link" || clock.method == "kernel";
}

}  // namespace

std::string ClockStatement(const ports::MeasuredClock& clock) {
    if (!Measured(clock))
        return "recorder clock offset not measured";
    const double within = std::ceil(std::max(0.0, clock.uncertaintySeconds) * 1000.0) / 1000.0;
    char text[96];
    std::snprintf(text, sizeof text, "recorder clock offset %+.3f s \u00b1 %.3f s, %s",
                  clock.offsetSeconds, within,
                  clock.method == "link" ? "measured over the link"
                                         : "the recorder's clock is this machine's");
    return text;
}

std::int64_t ClockOffsetTicks(const ports::MeasuredClock& clock) {
    return Measured(clock) ? std::llround(clock.offsetSeconds * 1e7) : 0;
}

}  // namespace video
