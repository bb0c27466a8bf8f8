#pragma once
// The range a pull fetches, as its configuration names it, in the recorder's days and minutes:
// "yesterday", "today", "last N hours" or "YYYYMMDD HHMM HHMM". A range that crosses midnight
// is one entry per day.
#include <ctime>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pull {

struct PullEntry {
    std::string day;    // YYYYMMDD
    std::string start;  // HHMM
    std::string end;    // HHMM, inclusive
};

// The most hours a range reaches back, and a run before it besides.
constexpr long kMostHours = 24 * 31;

// The entries of the range at local time now (none when it has not begun), or why the text names
// no range.
// With reached, a named range ("yesterday", "today", "last N hours") also takes the minutes
// from reached (the first minute the runs before did not reach, 0 for none) to its own start,
// up to kMostHours more, and reached becomes the minute after its end.
platform::Expected<std::vector<PullEntry>> PullEntries(const std::string& range, std::time_t now,
                                                       std::time_t* reached = nullptr);

// The ranges as few as they can be: those of one day that overlap or meet made one, in order
// of day and start. What failed runs kept ("today" every hour: each range holds the last) is
// then fetched once each minute.
std::vector<PullEntry> Coalesced(std::vector<PullEntry> entries);

}  // namespace pull
