#pragma once
// The MP4 files of an entry a pass has just written into its image, made by an adapter beside
// the core (the video export on FFmpeg's libraries): the core asks for them and enters what
// could not be made, nothing more.
#include <functional>
#include <string>
#include <utility>
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
    struct Made {
        // What could not be made or lacks something, one line each (empty: every file whole).
        std::vector<std::string> problems;
        // Each file made (host path), with the digest its exporter's first signature signs (""
        // unsigned): the report records it, since a receiving stamp changes the file's own.
        std::vector<std::pair<std::string, std::string>> signedParts;
    };
    // Writes <imageRoot>\<entry>\Video\<day>_<range>_camNN.mp4 for each camera.
    virtual Made MakeEntryVideo(const Request& request) = 0;
};

}  // namespace ports
