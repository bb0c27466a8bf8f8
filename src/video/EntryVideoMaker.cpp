#include "video/EntryVideoMaker.h"

#include "video/EntryExport.h"

namespace video {

std::string EntryLabel(const std::string& e) {
    if (CameraFileName(e, 0).empty())
        return e;
    return e.substr(0, 4) + "-" + e.substr(5, 2) + "-" + e.substr(8, 2) + " - " + e.substr(11, 2) +
           ":" + e.substr(14, 2) + " ~ " + e.substr(17, 2) + ":" + e.substr(20, 2);
}

ports::IEntryVideo::Made EntryVideoMaker::MakeEntryVideo(const Request& request) {
    EntryExportRequest r;
    r.entryFolder = request.imageRoot + "\\" + request.entry;
    r.outFolder = r.entryFolder + "\\Video";
    r.cameras = request.cameras.empty() ? CamerasInEntry(r.entryFolder) : request.cameras;
    r.label = EntryLabel(request.entry);
    r.unit = unit_;
    r.stopped = request.stopped;
    r.tap = request.tap;
    r.clock = request.clock;
    Made made;
    for (const CameraFile& f : ExportEntry(r)) {
        const std::string camera = "camera " + std::to_string(f.camera + 1);
        if (!f.result.written)
            made.problems.push_back("the MP4 file of " + camera +
                                    " was not made: " + f.result.problem);
        for (const std::string& m : f.result.missing)
            made.problems.push_back("the MP4 file of " + camera + " lacks " + m);
        for (std::size_t i = 0; i < f.result.files.size() && i < f.result.signedParts.size(); ++i)
            made.signedParts.emplace_back(f.result.files[i], f.result.signedParts[i]);
    }
    return made;
}

}  // namespace video
