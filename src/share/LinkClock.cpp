#include "share/LinkClock.h"

#include <cstdlib>

#include "platform/ClockSync.h"
#include "share/ShareLink.h"
#include "share/ShareProtocol.h"

namespace share {

backup::ClockMeasure MeasureLinkClock(ShareLink& link, int requests) {
    backup::ClockMeasure best;
    long long bestTrip = -1;
    for (int i = 0; i < requests; ++i) {
        const long long sent = platform::UtcMicroseconds();
        const ShareLink::Reply reply = link.Get(kRouteClock, 64);
        const long long back = platform::UtcMicroseconds();
        if (!reply.ok()) {
            // A server that does not tell it will not on the next request either, and a link
            // that failed is not waited for eight times over at the end of a backup.
            if (!best.measured)
                best.why = reply.Problem("the recorder's time");
            break;
        }
        char* end = nullptr;
        const long long server = std::strtoll(reply.body.c_str(), &end, 10);
        if (end == reply.body.c_str() || (*end != '\n' && *end != '\0') || server <= 0) {
            best.why = "the recorder's time is no number of microseconds";
            break;
        }
        const long long trip = back - sent;
        if (trip < 0)
            continue;  // this machine's clock was set meanwhile
        if (bestTrip < 0 || trip < bestTrip) {
            bestTrip = trip;
            best.measured = true;
            best.offsetSeconds = static_cast<double>(server - (sent + back) / 2) / 1e6;
            best.uncertaintySeconds = static_cast<double>(trip) / 2e6;
            best.why.clear();
        }
    }
    return best;
}

}  // namespace share
