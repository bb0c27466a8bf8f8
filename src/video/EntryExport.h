#pragma once
// The MP4 files of one entry of an image: one per camera, made side by side on the machine's
// cores, named by the entry's day and range and the camera, in a folder the caller names.
#include <functional>
#include <string>
#include <vector>

#include "platform/WriteTap.h"
#include "video/CameraExport.h"

namespace video {

struct EntryExportRequest {
    std::string entryFolder;   // drive or host path of the entry's folder in the image
    std::string outFolder;     // drive or host path of the folder the files go to
    std::vector<int> cameras;  // from 0
    std::string label;         // the entry's label, for the files' metadata
    std::string memo;          // the entry's memo, for the tracks' description
    std::string unit;          // the exporting unit's name
    std::function<bool()> stopped;
    ports::MeasuredClock clock;  // the recorder's clock as the backup measured it
    // Hashes every file made, on whichever thread makes it (null: none).
    platform::WriteTap* tap = nullptr;
    // What to hide (null: nothing); its files then say they are a redacted copy of its master.
    const RedactionPlan* redaction = nullptr;
    // Called as each camera's file is done (from the threads that make them, one at a time).
    std::function<void(int camera, const CameraExportResult&)> done;
};

struct CameraFile {
    int camera = 0;
    std::string path;  // where the file was to go
    CameraExportResult result;
};

std::vector<CameraFile> ExportEntry(const EntryExportRequest& request);

// The cameras (from 0) that have rows in the indexes of the entry's minutes, ascending; the
// minutes whose index cannot be read are passed over (their camera's export names them).
std::vector<int> CamerasInEntry(const std::string& entryFolder);

// What the entry's information file in the image says: its memo and the recorder's camera names
// (empty when the file is missing or damaged).
struct EntryTexts {
    std::string memo;
    std::vector<std::string> cameraNames;  // by camera, from 0
};
EntryTexts ReadEntryTexts(const std::string& entryFolder);

// "2010-05-23_1000-1039_cam03.mp4" for the entry folder "2010_05_23=10,00~10,39" and camera 2;
// "" for a name that is no entry's.
std::string CameraFileName(const std::string& entryName, int camera);
// "2010-05-23_1000-1039" for that entry: a name without the characters players' filters and
// shells take for their own ('=', ',', '~'); "" for a name that is no entry's.
std::string PlainEntryName(const std::string& entryName);
// The recorder's zone as the entry's files name it, at the entry's start: "Europe/London
// (UTC+01:00)".
std::string EntryZoneText(const std::string& entryName);

}  // namespace video
