#include "app/CConvertDateType.h"

namespace {
const char kSeparators[3] = {'-', '/', '.'};
}

std::string CConvertDateType::DateToDisplay(const std::string& date, unsigned type) const {
    if (date.size() != 10)
        return std::string();
    if (type > 8)
        type = 0;
    const std::string y = date.substr(0, 4), m = date.substr(5, 2), d = date.substr(8, 2);
    const std::string sep(1, kSeparators[type / 3]);
    switch (type % 3) {
        case 0:
            return y + sep + m + sep + d;
        case 1:
            return d + sep + m + sep + y;
        default:
            return m + sep + d + sep + y;
    }
}

std::string CConvertDateType::DisplayToDate(const std::string& display, unsigned type) const {
    if (display.size() != 10 || type > 8)
        return std::string();
    switch (type % 3) {
        case 0:
            return display.substr(0, 4) + display.substr(5, 2) + display.substr(8, 2);
        case 1:
            return display.substr(6, 4) + display.substr(3, 2) + display.substr(0, 2);
        default:
            return display.substr(6, 4) + display.substr(0, 2) + display.substr(3, 2);
    }
}
