#include "preview/PlaybackChoices.h"

#include <cstdlib>

PlayTime PlayTimeOf(const std::string& day, int hour, int minute) {
    auto number = [&](std::size_t pos, std::size_t len) {
        return pos < day.size() ? std::atoi(day.substr(pos, len).c_str()) : 0;
    };
    return {number(0, 4), number(4, 2), number(6, 2), hour, minute};
}

PlaySpeed SpeedOfSlider(int position) {
    if (position == 5)
        return {0, 0};
    if (position < 5)
        return {5 - position, 2};
    return {position - 5, 1};
}

DVR_SEARCHCAM OneCamera(int camera) {
    DVR_SEARCHCAM cams{};
    if (camera >= 0 && camera < 64)
        cams.value[16 + camera] = 1;
    return cams;
}
