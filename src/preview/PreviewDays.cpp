#include "preview/PreviewDays.h"

#include <algorithm>
#include <functional>

#include "platform/TimeZone.h"

std::string LabelToDayKey(const std::string& label, int dateType) {
    if (label.size() < 8)
        return std::string();
    const int order = dateType >= 0 && dateType <= 8 ? dateType % 3 : 0;
    auto part = [&](std::size_t pos, std::size_t len) {
        return pos < label.size() ? label.substr(pos, len) : std::string();
    };
    std::string y, m, d;
    if (order == 0) {
        y = part(0, 4), m = part(5, 2), d = part(8, 2);
    } else if (order == 1) {
        d = part(0, 2), m = part(3, 2), y = part(6, 4);
    } else {
        m = part(0, 2), d = part(3, 2), y = part(6, 4);
    }
    return y + "-" + m + "-" + d;
}

std::string StoredDayToKey(const std::string& stored) {
    return stored.substr(0, 4) + "-" + stored.substr(4, 2) + "-" + stored.substr(6, 2);
}

std::string LocalDayDigits(std::time_t t) {
    std::tm local{};
    char buf[128] = {};
    if (platform::LocalTimeAt(t, local))
        std::strftime(buf, sizeof buf, "%Y%m%d", &local);
    return buf;
}

std::vector<std::string> DaysToList(std::vector<std::string> days, const std::string& oldest) {
    std::stable_sort(days.begin(), days.end(), std::greater<>());
    std::vector<std::string> listed;
    for (auto& day : days) {
        std::string digits = day;
        digits.erase(std::remove(digits.begin(), digits.end(), '-'), digits.end());
        // A day key compares with oldest by its digits alone.
        if (digits < oldest)
            continue;
        listed.push_back(std::move(day));
    }
    return listed;
}
