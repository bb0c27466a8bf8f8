#include "mp4/ImageVideos.h"

#include <algorithm>

#include "integrity/ImageCopyOut.h"
#include "integrity/Manifest.h"
#include "platform/FileSystem.h"

namespace mp4 {

namespace {

void FindMp4(const std::string& folder, std::vector<std::string>& found, int depth) {
    if (depth > 8)
        return;
    for (const platform::FindData& f : platform::FindFiles(folder + "/*")) {
        if (f.name == "." || f.name == "..")
            continue;
        if (f.isDirectory)
            FindMp4(folder + "/" + f.name, found, depth + 1);
        else if (IsMp4Name(f.name))
            found.push_back(folder + "/" + f.name);
    }
}

ExportCheck Check(const std::string& hostPath, const std::string& trustedDer) {
    return CheckExportFile(hostPath, {trustedDer, !trustedDer.empty()});
}

}  // namespace

bool IsMp4Name(const std::string& name) {
    return name.size() > 4 && (name.compare(name.size() - 4, 4, ".mp4") == 0 ||
                               name.compare(name.size() - 4, 4, ".MP4") == 0);
}

std::vector<std::string> FolderVideos(const std::string& hostRoot) {
    std::vector<std::string> files;
    FindMp4(hostRoot, files, 0);
    for (std::string& path : files)
        path.erase(0, hostRoot.size() + 1);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<VideoCheck> CheckFolderVideos(const std::string& hostRoot,
                                          const std::string& trustedDer) {
    std::vector<VideoCheck> checks;
    for (const std::string& path : FolderVideos(hostRoot))
        checks.push_back({path, Check(hostRoot + "/" + path, trustedDer)});
    return checks;
}

bool CheckImageVideos(integrity::ImageFiles& image, const std::string& trustedDer,
                      std::vector<VideoCheck>& checks, std::string& problem) {
    std::vector<integrity::ImageFiles::Entry> videos;
    // The image's own check says why it cannot be listed.
    const platform::Expected<std::vector<integrity::ImageFiles::Entry>> listing = image.List();
    if (!listing)
        return false;
    for (const auto& e : *listing)
        if (e.regular && IsMp4Name(e.path))
            videos.push_back(e);
    if (videos.empty())
        return true;
    const integrity::ScratchFolder copy("", "quillon-verify");
    const std::string& scratch = copy.path();
    if (scratch.empty()) {
        problem = "the disc's " + std::to_string(videos.size()) +
                  " MP4 files are not checked: no folder for temporary files";
        return false;
    }
    for (const auto& e : videos) {
        if (const platform::Outcome copied =
                integrity::CopyImageFilesOut(image, {e}, e.path, scratch);
            !copied) {
            VideoCheck failed{e.path, {}};
            failed.check.problem = copied.error().Said();
            checks.push_back(failed);
        } else {
            checks.push_back({e.path, Check(scratch + "/" + e.path, trustedDer)});
        }
        // The copy's first folder goes, and only a name of the scratch folder's own: one that
        // climbs out ("..") was not copied, and would name the folder the scratch folder is in.
        if (integrity::SafeRelativePath(e.path))
            platform::DeleteTree(scratch + "/" + e.path.substr(0, e.path.find('/')));
    }
    return true;
}

}  // namespace mp4
