#pragma once
// The ranges a pull instance still has to fetch, kept in its base folder between runs: what a
// failed run could not fetch is fetched by the next one, and a named range ("today", "last N
// hours") starts where the runs before it stopped, so that no minute falls between two runs.
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "pull/PullRange.h"

namespace pull {

// The ranges the run wants now, from reached (the first minute the runs before did not reach,
// which it moves on), or why the range names none.
using WantedRanges =
    std::function<platform::Expected<std::vector<PullEntry>>(std::time_t& reached)>;

// The kept list with wanted put in and done taken out, read and written in one step under the
// lock of the instances' folder: two runs of one recorder (the timer's and one by hand) change
// it each in turn and never write the other's ranges away. The list as it was goes into before,
// as it is now into after; or why it cannot be changed. A list holding what is no
// range is set aside whole for someone to look at (setAside says so), losing none of the ranges
// that read.
platform::Outcome ChangePending(const std::string& base, const WantedRanges& wanted,
                                const std::vector<PullEntry>& done, std::vector<PullEntry>& before,
                                std::vector<PullEntry>& after, std::string* setAside = nullptr);

// Whether two entries name one range.
bool SameRange(const PullEntry& a, const PullEntry& b);

}  // namespace pull
