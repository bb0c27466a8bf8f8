#pragma once
// The zone local times are reckoned in, for a process that works for a recorder whose clock
// shows another zone than this machine's, and what a reading of that clock stands for.
#include <ctime>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// Makes name, a zone of the system's time zone database ("Europe/Berlin", "UTC"), the
// process's local time; not found when the database holds no such zone, leaving the local time
// as it was.
Outcome UseTimeZone(const std::string& name);

// The name of the zone the process reckons local time in ("Europe/London"): the one it was
// given, else this machine's; "UTC" when neither names one.
std::string LocalTimeZoneName();

// An instant at which the local clock showed a given reading.
struct ClockInstant {
    long long utc = 0;         // Unix seconds
    int offset = 0;            // of the local clock then, seconds east of UTC
    std::string abbreviation;  // the zone's own ("BST"), "" when it has none
};

// The local clock's offset and abbreviation at an instant (Unix seconds); false when the C
// library cannot tell.
bool LocalClockAt(long long utc, ClockInstant& out);

// The instants at which the local clock read wall (seconds since 1970-01-01 00:00 of that
// clock): one; two, earlier first, in the hour a change back repeats; none in the hour a change
// forward skips.
std::vector<ClockInstant> InstantsOfLocalClock(long long wall);

// The reading of the local clock, and of UTC, at t as the C library breaks it down; false when it
// cannot tell (a year out of its range).
bool LocalTimeAt(std::time_t t, std::tm& out);
bool UtcTimeAt(std::time_t t, std::tm& out);
// The Unix seconds of a reading of UTC (its fields may run over, as 31 June).
long long UtcSecondsOf(std::tm reading);

// "UTC+01:00", "UTC-05:30", "UTC".
std::string OffsetText(int offsetSeconds);

}  // namespace platform
