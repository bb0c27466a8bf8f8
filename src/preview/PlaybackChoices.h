#pragma once
// The preview's choices as the playback component takes them: the time to play from, the speed
// of the slider's position and the block that selects one camera. Kept free of Qt so that they
// are tested without a window.
#include <string>

#include "ports/CDvrSearchStatic2.h"

struct PlayTime {
    int year, month, day, hour, minute;
};
// The chosen day (YYYYMMDD) at hour and minute; a part the day lacks is 0.
PlayTime PlayTimeOf(const std::string& day, int hour, int minute);

// SetPlaySpeed's arguments: mode 0 the recorded pace, 1 steps faster, 2 steps slower.
struct PlaySpeed {
    int steps, mode;
};
// The slider runs 0 to 10 with the recorded pace at 5, slower to the left.
PlaySpeed SpeedOfSlider(int position);

// The camera block with camera alone selected; none for a camera outside 0 to 63.
DVR_SEARCHCAM OneCamera(int camera);
