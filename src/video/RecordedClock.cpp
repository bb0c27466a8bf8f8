#include "video/RecordedClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/TimeZone.h"

namespace video {
namespace {

bool Repeated(long long wall) {
    return platform::InstantsOfLocalClock(wall).size() == 2;
}

}  // namespace

long long MinuteReading(const std::string& day, int minuteOfDay) {
    using namespace std::chrono;
    const sys_days date{
        year{std::atoi(day.substr(0, 4).c_str())} /
        month{static_cast<unsigned>(std::atoi(day.substr(4, 2).c_str()))} /
        std::chrono::day{static_cast<unsigned>(std::atoi(day.substr(6, 2).c_str()))}};
    return date.time_since_epoch().count() * 86400LL + minuteOfDay * 60LL;
}

std::vector<RecordedPiece> RecordedOrder(const std::string& day, const std::vector<int>& minutes) {
    std::vector<RecordedPiece> order;
    for (std::size_t i = 0; i < minutes.size();) {
        if (!Repeated(MinuteReading(day, minutes[i]))) {
            order.push_back({day, minutes[i], 0});
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < minutes.size() && Repeated(MinuteReading(day, minutes[end])))
            ++end;
        for (const int reading : {1, 2})
            for (std::size_t k = i; k < end; ++k)
                order.push_back({day, minutes[k], reading});
        i = end;
    }
    return order;
}

std::vector<playback::PictureRef> PicturesOfPiece(const std::vector<playback::PictureRef>& pictures,
                                                  int reading, bool& resolved) {
    resolved = false;
    if (reading == 0)
        return pictures;
    std::vector<playback::PictureRef> written = pictures;
    std::stable_sort(
        written.begin(), written.end(),
        [](const playback::PictureRef& a, const playback::PictureRef& b) { return a.row < b.row; });
    // The clock went back where a stamp first falls below one written before it.
    std::size_t back = written.size();
    long long latest = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (i > 0 && written[i].rectime < latest) {
            back = i;
            break;
        }
        latest = std::max(latest, written[i].rectime);
    }
    resolved = back < written.size();
    if (reading == 2 && !resolved)
        return {};
    std::vector<playback::PictureRef> mine(
        reading == 1 ? written.begin() : written.begin() + static_cast<std::ptrdiff_t>(back),
        reading == 1 ? written.begin() + static_cast<std::ptrdiff_t>(back) : written.end());
    std::stable_sort(mine.begin(), mine.end(),
                     [](const playback::PictureRef& a, const playback::PictureRef& b) {
                         return a.rectime < b.rectime;
                     });
    return mine;
}

RecordedTime TimeOfReading(long long wallSeconds, int reading, bool resolved) {
    const std::vector<platform::ClockInstant> instants =
        platform::InstantsOfLocalClock(wallSeconds);
    RecordedTime time;
    if (instants.size() == 1) {
        time.offset = instants[0].offset;
        return time;
    }
    auto named = [](const platform::ClockInstant& i) {
        return i.abbreviation.empty() ? platform::OffsetText(i.offset) : i.abbreviation;
    };
    if (instants.size() == 2) {
        // Without both readings in the minute nothing tells which of the two it was: the earlier
        // is taken, and the text says it may be either.
        const platform::ClockInstant& i = instants[reading == 2 && resolved ? 1 : 0];
        time.offset = i.offset;
        time.mark = resolved ? named(i) : named(instants[0]) + " or " + named(instants[1]);
        return time;
    }
    // A reading the clock skipped: a recorder's clock that did not move on at the change, taken
    // at the offset it had before it.
    platform::ClockInstant before;
    platform::LocalClockAt(wallSeconds - 86400, before);
    time.offset = before.offset;
    time.mark = "not a time of " + platform::LocalTimeZoneName();
    return time;
}

std::string RecordedTimeText(long long wallSeconds, const std::string& mark) {
    using namespace std::chrono;
    const sys_seconds at{seconds{wallSeconds}};
    const sys_days date = floor<days>(at);
    const year_month_day ymd{date};
    const hh_mm_ss<seconds> clock{at - date};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<long long>(clock.hours().count()),
                  static_cast<long long>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()));
    return mark.empty() ? std::string(text) : std::string(text) + " " + mark;
}

std::string RecorderZoneText(long long wallSeconds) {
    return platform::LocalTimeZoneName() + " (" +
           platform::OffsetText(static_cast<int>(TimeOfReading(wallSeconds, 0, false).offset)) +
           ")";
}

}  // namespace video
