#pragma once
// The range a pull fetches, as its configuration names it, in the recorder's days and minutes:
// "yesterday", "today", "last N hours" or "YYYYMMDD HHMM HHMM". A range that crosses midnight
// is one entry per day.
#include <ctime>
#include <string>
#include <vector>

struct PullEntry {
    std::string day;    // YYYYMMDD
    std::string start;  // HHMM
    std::string end;    // HHMM, inclusive
};

// The entries of the range at local time now; empty with why when the text names no range.
std::vector<PullEntry> PullEntries(const std::string& range, std::time_t now, std::string& why);

// The ranges as few as they can be: those of one day that overlap or meet made one, in order
// of day and start. What failed runs kept ("today" every hour: each range holds the last) is
// then fetched once each minute.
std::vector<PullEntry> Coalesced(std::vector<PullEntry> entries);
