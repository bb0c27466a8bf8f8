#include "pull/PullRange.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/TimeZone.h"

namespace pull {

namespace {

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    platform::LocalTimeAt(t, tm);
    return tm;
}

std::string DayOf(const std::tm& tm) {
    char day[48];
    std::snprintf(day, sizeof day, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return day;
}

std::string ClockOf(int minuteOfDay) {
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d%02d", minuteOfDay / 60, minuteOfDay % 60);
    return clock;
}

// The whole minutes from first to last (local times, last inclusive), one entry per day.
std::vector<PullEntry> Between(std::time_t first, std::time_t last) {
    std::vector<PullEntry> entries;
    std::tm a = LocalTime(first);
    const std::tm b = LocalTime(last);
    for (int guard = 0; guard < 400; ++guard) {
        const bool lastDay = a.tm_year == b.tm_year && a.tm_yday == b.tm_yday;
        const int from = a.tm_hour * 60 + a.tm_min;
        const int to = lastDay ? b.tm_hour * 60 + b.tm_min : 23 * 60 + 59;
        if (from <= to)
            entries.push_back({DayOf(a), ClockOf(from), ClockOf(to)});
        if (lastDay)
            break;
        // The next day's midnight, through the calendar so that a clock change is no matter.
        a.tm_mday += 1;
        a.tm_hour = a.tm_min = a.tm_sec = 0;
        a.tm_isdst = -1;
        a = LocalTime(std::mktime(&a));
    }
    return entries;
}

bool Digits(const std::string& s, std::size_t n) {
    if (s.size() != n)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A day that the calendar has: a month of 1 to 12 and a day of that month, 29 February only
// in a leap year. A recorder has no day 0, so no year 0 either.
bool CalendarDay(const std::string& day) {
    const int year = std::atoi(day.substr(0, 4).c_str());
    const int month = std::atoi(day.substr(4, 2).c_str());
    const int date = std::atoi(day.substr(6, 2).c_str());
    if (year < 1 || month < 1 || month > 12 || date < 1)
        return false;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return date <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

platform::Expected<std::vector<PullEntry>> PullEntries(const std::string& range, std::time_t now,
                                                       std::time_t* reached) {
    using Kind = platform::Error::Kind;
    std::istringstream in(range);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    std::tm today = LocalTime(now);
    today.tm_hour = today.tm_min = today.tm_sec = 0;
    today.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&today);
    // The minute now is still being recorded: a range ends at the minute before it.
    const std::time_t lastWhole = now - 60;
    std::time_t first = 0, last = 0;
    if (words.size() == 1 && words[0] == "yesterday") {
        // The day before at 00:00: today's midnight may be 01:00 where the clock goes forward
        // at midnight, and yesterday's hour 0 is no less its own.
        std::tm y = LocalTime(midnight);
        y.tm_mday -= 1;
        y.tm_hour = y.tm_min = y.tm_sec = 0;
        y.tm_isdst = -1;
        first = std::mktime(&y);
        last = midnight - 60;
    } else if (words.size() == 1 && words[0] == "today") {
        first = midnight;
        last = lastWhole;
    } else if (words.size() == 3 && words[0] == "last" && words[2] == "hours") {
        char* end = nullptr;
        const long hours = std::strtol(words[1].c_str(), &end, 10);
        if (!words[1].empty() && !*end && hours >= 1 && hours <= kMostHours) {
            first = now - hours * 3600;
            last = lastWhole;
        }
    } else if (words.size() == 3 && Digits(words[0], 8) && Digits(words[1], 4) &&
               Digits(words[2], 4)) {
        if (!CalendarDay(words[0])) {
            return platform::Error{Kind::kDamaged,
                                   "range names a day the calendar does not have: " + words[0], ""};
        }
        const int from =
            std::atoi(words[1].substr(0, 2).c_str()) * 60 + std::atoi(words[1].substr(2).c_str());
        const int to =
            std::atoi(words[2].substr(0, 2).c_str()) * 60 + std::atoi(words[2].substr(2).c_str());
        if (from <= to && to < 24 * 60 && words[1].substr(2) < "60" && words[2].substr(2) < "60")
            return std::vector<PullEntry>{{words[0], words[1], words[2]}};
    }
    if (first == 0)
        return platform::Error{
            Kind::kDamaged,
            "range takes yesterday, today, last N hours (1 to 744) or YYYYMMDD HHMM HHMM: " + range,
            ""};
    if (reached && *reached > 0 && *reached < first) {
        // What the runs before did not reach: a run whose timer fired late, the last hour of
        // a day under "today", the days of runs missed while this machine was off.
        first = std::max(*reached, first - kMostHours * 3600);
    }
    if (last < first)
        return std::vector<PullEntry>();
    if (reached) {
        const std::time_t next = last - LocalTime(last).tm_sec + 60;
        *reached = std::max(*reached, next);
    }
    return Between(first, last);
}

std::vector<PullEntry> Coalesced(std::vector<PullEntry> entries) {
    const auto minute = [](const std::string& clock) {
        return std::atoi(clock.substr(0, 2).c_str()) * 60 + std::atoi(clock.substr(2).c_str());
    };
    std::sort(entries.begin(), entries.end(), [&](const PullEntry& a, const PullEntry& b) {
        return a.day != b.day ? a.day < b.day : minute(a.start) < minute(b.start);
    });
    std::vector<PullEntry> out;
    for (const PullEntry& e : entries) {
        if (!out.empty() && out.back().day == e.day &&
            minute(e.start) <= minute(out.back().end) + 1) {
            if (minute(e.end) > minute(out.back().end))
                out.back().end = e.end;
            continue;
        }
        out.push_back(e);
    }
    return out;
}

}  // namespace pull
