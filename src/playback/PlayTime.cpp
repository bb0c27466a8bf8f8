#include "playback/PlayTime.h"

#include <algorithm>
#include <ctime>

namespace playback {

int CheckPlayTime(bool todayLimit, std::int64_t now, std::int64_t windowStart, int year, int month,
                  int day, int hour, int minute) {
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59)
        return kNotPlayable;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day)
        return kNotPlayable;  // no such day (the 31st of a short month)
    if (!todayLimit)
        return kPlayable;
    const std::int64_t startMinute = static_cast<std::int64_t>(t) / 60;
    if (startMinute < windowStart / 60)
        return kBeforeWindow;
    if (startMinute > now / 60)
        return kAfterNow;
    return kPlayable;
}

double SpeedFactor(int steps, int mode) {
    const int s = std::clamp(steps, 0, 10);
    if (mode == 1)
        return 1.0 + s;
    if (mode == 2)
        return 1.0 / (1.0 + s);
    return 1.0;
}

std::vector<double> PictureTimes(const std::vector<PictureRef>& pictures) {
    std::vector<double> times(pictures.size());
    for (std::size_t i = 0; i < pictures.size();) {
        std::size_t end = i;
        while (end < pictures.size() && pictures[end].rectime == pictures[i].rectime)
            ++end;
        const double share = 1.0 / static_cast<double>(end - i);
        for (std::size_t k = i; k < end; ++k)
            times[k] =
                static_cast<double>(pictures[k].rectime) + static_cast<double>(k - i) * share;
        i = end;
    }
    return times;
}

}  // namespace playback
