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
    // Sized for what is said: a report's figures may have any number of digits, and a cut
    // statement would lose how the offset was measured.
    const char* const format = "recorder clock offset %+.3f s \u00b1 %.3f s, %s";
    const double offset = link ? clock.offsetSeconds : 0.0;
    const char* const how =
        link ? "measured over the link" : "the recorder's clock is this machine's";
    std::string text(
        static_cast<std::size_t>(std::snprintf(nullptr, 0, format, offset, within, how)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, offset, within, how);
    return text;
}

std::int64_t ClockOffsetTicks(const ports::MeasuredClock& clock) {
    // A local recorder's clock is this machine's: no offset, whatever a report says.
    if (clock.method != "link")
        return 0;
    // A recorder that tells a time past any clock's (or an edited report) gives an offset 64 bits
    // of ticks cannot hold: it is kept at their edge, where a start it would move before 1601 is
    // refused, instead of wrapping round to a start that looks true.
    constexpr double kEdge = 9.0e18;
    const double ticks = clock.offsetSeconds * 1e7;
    if (!(ticks < kEdge))
        return static_cast<std::int64_t>(kEdge);
    if (!(ticks > -kEdge))
        return -static_cast<std::int64_t>(kEdge);
    return std::llround(ticks);
}

}  // namespace video
