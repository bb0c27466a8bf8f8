#pragma once
// What a redacted working copy hides: regions of cameras' pictures, each over a range of recorded
// times, and ranges of cameras' audio to silence. Times are readings of the recorder's clock, as
// its pictures are stamped and the files' subtitles show them (local seconds counted as if UTC).
#include <climits>
#include <map>
#include <string>
#include <vector>

namespace video {

enum class MaskMethod { kSolid, kBlur, kPixelate };

// Each method's name, as a masks file gives it and a copy's account writes it back.
struct MaskMethodName {
    MaskMethod method;
    const char* name;
};
inline constexpr MaskMethodName kMaskMethodNames[] = {{MaskMethod::kSolid, "solid"},
                                                      {MaskMethod::kBlur, "blur"},
                                                      {MaskMethod::kPixelate, "pixelate"}};

const char* NameOf(MaskMethod method);
// False when name is none of the methods'.
bool MethodNamed(const std::string& name, MaskMethod& method);
// "solid, blur or pixelate", for a refusal of a name.
std::string MethodNamesText();

struct MaskPoint {
    double x = 0, y = 0;
};

struct RedactionMask {
    int camera = 0;                  // from 0
    std::vector<MaskPoint> polygon;  // a rectangle as its four corners
    MaskMethod method = MaskMethod::kSolid;
    long long from = LLONG_MIN, to = LLONG_MAX;  // recorded seconds, both included
    // The picture size the coordinates were drawn on; 0: the camera's first picture's.
    int width = 0, height = 0;
};

struct AudioMute {
    int camera = 0;  // from 0
    long long from = LLONG_MIN, to = LLONG_MAX;
};

struct RedactionPlan {
    std::vector<RedactionMask> masks;
    std::vector<AudioMute> mutes;
    // The manifest hash of the master image, which the files name as what they were made from.
    std::string masterHash;
};

// What a mask hid in one file: how many pictures, the first and the last as recorded.
struct MaskCover {
    long long pictures = 0;
    std::string first, last;  // RecordedTimeText of the first and last picture covered
};

// Of one file, by the plan's index of each mask and mute of the file's camera.
struct FileRedaction {
    std::map<int, MaskCover> masks;
    std::map<int, long long> mutedSamples;  // of the 8 kHz channel
};

// "2026-01-05 09:58:00" as a reading of the recorder's clock; false when it is no such time.
bool ParseRecordedReading(const std::string& text, long long& seconds);

}  // namespace video
