#pragma once
// Shared by the MP4 export benchmarks: every camera of an entry exported, redacted when a plan
// is given; the pictures written, with each camera that failed said on stderr.
#include <cstdio>
#include <string>

#include "video/EntryExport.h"

namespace bench {

inline long long ExportCameras(const std::string& entry, const std::string& out, int cameras,
                               const video::RedactionPlan* redaction = nullptr) {
    video::EntryExportRequest request;
    request.entryFolder = entry;
    request.outFolder = out;
    for (int c = 0; c < cameras; ++c)
        request.cameras.push_back(c);
    request.label = "bench";
    request.unit = "bench";
    request.redaction = redaction;
    long long pictures = 0;
    for (const video::CameraFile& f : video::ExportEntry(request)) {
        if (!f.result.written)
            std::fprintf(stderr, "camera %d: %s\n", f.camera + 1, f.result.problem.c_str());
        pictures += f.result.pictures;
    }
    return pictures;
}

}  // namespace bench
