#include "video/RedactionPlan.h"

#include <cstdio>
#include <iterator>

namespace video {
namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long CivilDays(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = static_cast<int>(year - era * 400);
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

}  // namespace

const char* NameOf(MaskMethod method) {
    for (const MaskMethodName& m : kMaskMethodNames)
        if (m.method == method)
            return m.name;
    return "";
}

bool MethodNamed(const std::string& name, MaskMethod& method) {
    for (const MaskMethodName& m : kMaskMethodNames)
        if (name == m.name) {
            method = m.method;
            return true;
        }
    return false;
}

std::string MethodNamesText() {
    std::string text;
    const std::size_t count = std::size(kMaskMethodNames);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += i + 1 == count ? " or " : ", ";
        text += kMaskMethodNames[i].name;
    }
    return text;
}

bool ParseRecordedReading(const std::string& text, long long& seconds) {
    int year, month, day, hour, minute, second;
    char end;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &second, &end) != 6)
        return false;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
        if (text[i] < '0' || text[i] > '9')
            return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] + (month == 2 && IsLeapYear(year)) || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    seconds = CivilDays(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

}  // namespace video
