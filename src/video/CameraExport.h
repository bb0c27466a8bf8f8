#pragma once
// One camera of one entry of an image as an MP4 file: every picture of the camera in recorded
// order at its recorded time, a line of timed text per recorded second as the recorder's clock
// read it, the movie created at the first picture's instant. The recorder's zone is the process's
// local zone. Minutes that cannot be read are skipped and named; the file takes its
// name only when whole.
#include <functional>
#include <string>
#include <vector>

#include "ports/MeasuredClock.h"
#include "video/RedactionPlan.h"

namespace video {

struct CameraExportRequest {
    std::string entryFolder;  // drive path of the entry's folder in the image
    int camera = 0;           // from 0
    std::string outPath;      // drive path of the MP4 to make; its folder exists
    std::string title;        // the entry's label, for the file's metadata
    std::string memo;         // the entry's memo, for the track's description
    std::string unit;         // the exporting unit's name
    std::string cameraName;   // as the recorder names the camera ("" when it has none)
    // The largest file to make; a longer export is cut into linked parts. 0: what the target's
    // file system can hold.
    long long maxFileBytes = 0;
    std::function<bool()> stopped;  // true to give up; no file is left then
    // The recorder's clock as the backup measured it: stated in the file's comment, and the
    // start its signed boxes give players corrected by it.
    ports::MeasuredClock clock;
    // What to hide of the camera's pictures and audio (null: nothing); outlives the export.
    const RedactionPlan* redaction = nullptr;
};

struct CameraExportResult {
    bool written = false;
    // The files made (host paths): outPath, or its parts "…_part1.mp4", "…_part2.mp4", … in
    // order when one file would outgrow what the target can hold.
    std::vector<std::string> files;
    // Of each file, the digest its exporter's first signature signs ("" unsigned), which a
    // receiving stamp leaves as it is.
    std::vector<std::string> signedParts;
    // Of each file, what the redaction hid in it (empty without a mask or mute of the camera).
    std::vector<FileRedaction> redacted;
    long long pictures = 0;             // in the file
    long long firstMs = 0, lastMs = 0;  // Unix milliseconds (UTC) of its first and last picture
    int width = 0, height = 0;
    // What the file lacks, one line each ("20100523 10:05: why"), in recorded order.
    std::vector<std::string> missing;
    std::string problem;  // why no file was made ("" when written)
};

CameraExportResult ExportCamera(const CameraExportRequest& request);

}  // namespace video
