#pragma once
// The player's rules of time: which start times may be played under the today limit, how fast
// a speed step plays, and when each picture of a second is due.
#include <cstdint>
#include <vector>

#include "playback/PictureSource.h"

namespace playback {

enum PlayTimeAnswer { kNotPlayable = 0, kPlayable = 1, kBeforeWindow = 2, kAfterNow = 3 };

// The start time (local time) against the window from windowStart to now, in whole minutes;
// without the today limit every real time is playable.
int CheckPlayTime(bool todayLimit, std::int64_t now, std::int64_t windowStart, int year, int month,
                  int day, int hour, int minute);

// How many times the recorded pace: mode 0 normal, 1 faster by steps, 2 slower by steps.
double SpeedFactor(int steps, int mode);

// Each picture's time in seconds: its stamp, and the pictures that share a stamp spread evenly
// over that second, so that 25 pictures stamped with one second play 40 ms apart.
std::vector<double> PictureTimes(const std::vector<PictureRef>& pictures);

}  // namespace playback
