#pragma once
// The recorder's clock against the clock of the machine that made the backup, as the backup
// measured it: what an export's files state of it, and how far they correct its start.
#include <string>

namespace ports {

struct MeasuredClock {
    // "link": measured over the link to a remote recorder; "kernel": a local recorder, whose
    // clock is this machine's (offset 0); "none": not measured.
    std::string method = "none";
    double offsetSeconds = 0;       // the recorder's clock less the backing-up machine's
    double uncertaintySeconds = 0;  // the true offset lies within this of offsetSeconds
};

}  // namespace ports
