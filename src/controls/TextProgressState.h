#pragma once
// What a text progress bar (the disc capacity bar) shows, set as one: colours as 0xRRGGBB.
#include <string>

struct TextProgressState {
    unsigned barColor = 0, bkColor = 0, bar2Color = 0, textOnBk = 0, textOnBar = 0;
    int lower = 0, upper = 100, pos = 0;
    int lower2 = 0, upper2 = 100, pos2 = 0;
    bool textVisible = true;
    std::string text;  // "" shows the percentage
};
