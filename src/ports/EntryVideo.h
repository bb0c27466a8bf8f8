#pragma once
// The MP4 files of an entry a pass has just written into its image, made by an adapter beside
// the core (the video export on FFmpeg's libraries): the core asks for them and enters what
// could not be made, nothing more.
#include <functional>
#include <string>
#include <vector>

#include "platform/WriteTap.h"
#include "ports/MeasuredClock.h"

namespace ports {

class IEntryVideo {
  public:
    virtual ~IEntryVideo() = default;
    struct Request {
        std::string imageRoot;  // drive path of the image root, without a final separator
        std::string entry;      // the entry's folder name in it
        // The entry's cameras (from 0); empty: those whose pictures are in the entry.
        std::vector<int> cameras;
        std::function<bool()> stopped;  // the pass was told to stop
        // The image's hashing: every file made for the entry goes through it, whatever thread
        // writes it.
        platform::WriteTap* tap = nullptr;
        // The pass's measurement of the recorder's clock, which the files state and correct
        // their start by.
        MeasuredClock clock;
    };
    // Writes <imageRoot>\<entry>\Video\<day>_<range>_camNN.mp4 for each camera; what could not
    // be made or lacks something, one line each (empty when every file is whole).
    virtual std::vector<std::string> MakeEntryVideo(const Request& request) = 0;
};

}  // namespace ports
