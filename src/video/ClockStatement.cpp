#include "video/ClockStatement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace video {

std::string ClockStatement(const ports::MeasuredClock& clock) {
    const bool link = clock.method == "link";
    if (!link && clock.method != "kernel")
        return "recorder clock offset not measured";
    // Up to the millisecond, but not past it for the error of a product (2.007 * 1000).
    const double within =
        std::ceil(std::max(0.0, clock.uncertaintySeconds) * 1000.0 - 1e-6) / 1000.0;
    char text[96];
    std::snprintf(text, sizeof text, "recorder clock offset %+.3f s \u00b1 %.3f s, %s",
                  link ? clock.offsetSeconds : 0.0, within,
                  link ? "measured over the link" : "the recorder's clock is this machine's");
    return text;
}

std::int64_t ClockOffsetTicks(const ports::MeasuredClock& clock) {
    // A local recorder's clock is this machine's: no offset, whatever a report says.
    return clock.method == "link" ? std::llround(clock.offsetSeconds * 1e7) : 0;
}

}  // namespace video
