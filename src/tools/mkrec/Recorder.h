#pragma once
// Writes a recorder storage tree: per day the day map, per recorded minute an SQLite index and a
// data file of JPEG pictures, and raw 8 kHz 8-bit audio per minute and channel.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace mkrec {

enum class Damage {
    kNotADatabase,  // the index file holds text
    kNoTable,       // a database without "indextable"
    kShortData,     // the data file is cut to half its length
};

struct RecorderPlan {
    std::string root;               // drive or host path of the recordings root
    std::vector<std::string> days;  // YYYYMMDD
    int firstMinute = 600;          // minute of the day, inclusive
    int lastMinute = 609;
    int cameras = 4;
    int fps = 1;
    int width = 160;
    int height = 120;
    int quality = 60;
    int audioChannels = 0;
    int audioBytesPerMinute = 480000;  // 60 s at 8 kHz
    int modelCode = 0x670;
    std::uint32_t seed = 1;
    bool reverseRowOrder = false;          // store rows out of position order
    std::set<int> gapMinutes;              // minutes of the day without recording
    std::map<int, int> cameraStops;        // camera -> first minute it no longer records
    std::map<int, Damage> damagedMinutes;  // minute of the day -> damage
    // Minutes of the day the recorder's clock showed twice (the hour a change back to standard
    // time repeats): their pictures are written twice over, stamped alike, the second time with
    // other pictures after the first.
    std::set<int> repeatedMinutes;
};

struct RecorderStats {
    long long minutes = 0;
    long long pictures = 0;
    long long pictureBytes = 0;
    long long audioBytes = 0;
};

// Throws std::runtime_error with a clear text when a file cannot be written.
RecorderStats MakeRecordings(const RecorderPlan& plan);

}  // namespace mkrec
