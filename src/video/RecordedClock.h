#pragma once
// A recorder stamps its pictures with its clock's reading, the local time of the recorder's
// zone counted in seconds as if it were UTC. What such a reading stands for: the text players
// show (the reading itself, marked where the zone makes it ambiguous) and the true instant a file's
// timeline and UTC fields take. The recorder's zone is the process's local zone.
#include <string>
#include <vector>

#include "playback/PictureSource.h"

namespace video {

// A minute of a day, or one of the two times the clock showed it in the hour a change back
// repeats.
struct RecordedPiece {
    std::string day;  // "YYYYMMDD"
    int minute = 0;   // of the day
    int reading = 0;  // 0: the minute's only one; 1, 2: the first and the second time
};

// A day's minutes in the order they were recorded: a run of minutes the clock showed twice comes
// first once with its first readings, then once with its second.
std::vector<RecordedPiece> RecordedOrder(const std::string& day, const std::vector<int>& minutes);

// The pictures of the piece among a minute's (which come ordered by stamp): the whole minute,
// or, for a repeated minute, those written before the clock went back (reading 1) or after it
// (reading 2), each in recorded order. resolved: the minute held both (its readings are known).
std::vector<playback::PictureRef> PicturesOfPiece(const std::vector<playback::PictureRef>& pictures,
                                                  int reading, bool& resolved);

// What a reading of the clock stands for in the recorder's zone.
struct RecordedTime {
    long long offset = 0;  // seconds east of UTC: the instant is the reading less this
    std::string mark;      // "" for a plain reading, else what the text adds ("BST", "BST or GMT")
};
// reading and resolved as for the piece the second belongs to.
RecordedTime TimeOfReading(long long wallSeconds, int reading, bool resolved);

// Unix seconds of a minute's first reading, counted as the recorder stamps its pictures.
long long MinuteReading(const std::string& day, int minuteOfDay);

// "2026-01-05 09:58:00" of a reading, with its mark after it when it has one.
std::string RecordedTimeText(long long wallSeconds, const std::string& mark);

// The recorder's zone as exports name it: "America/Chicago (UTC-06:00)", the offset at the
// reading given.
std::string RecorderZoneText(long long wallSeconds);

}  // namespace video
