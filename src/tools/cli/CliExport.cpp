// quillon-cli export: an image's entries as MP4 files, one per camera, for players that know
// nothing of images. The image is checked against its manifest first: what is handed over as
// evidence comes from an image that is what its backup wrote.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CliCommands.h"
#include "integrity/Verify.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/MachineName.h"
#include "platform/Signals.h"
#ifdef QUILLON_HAVE_VIDEO
#include "video/EntryExport.h"
#include "video/EntryVideoMaker.h"
#endif

namespace {

bool IsDrivePath(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string HostFolder(const std::string& path) {
    std::string host = IsDrivePath(path) ? platform::ResolvePath(path) : path;
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

// Camera numbers 1-64 as given to --cams, from 0; empty for "all" or nothing given.
std::vector<int> CameraList(const std::string& text) {
    std::vector<int> cameras;
    if (text.empty() || text == "all")
        return cameras;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const long cam = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end || cam < 1 || cam > 64)
            throw UsageError{"cameras are numbered 1 to 64: " + item};
        cameras.push_back(static_cast<int>(cam - 1));
        if (comma == std::string::npos)
            return cameras;
        start = comma + 1;
    }
}

std::atomic<bool> gStop{false};

void OnStop(int) {
    gStop = true;
}

}  // namespace

int CmdExport(const CliArgs& a, bool progress) {
    if (!a.mp4)
        throw UsageError{"export takes --mp4, the only kind of file it makes"};
    if (a.positional.size() != 1 || a.out.empty())
        throw UsageError{"export takes one image folder and --out DIR"};
#ifndef QUILLON_HAVE_VIDEO
    (void)progress;
    std::fprintf(stderr, "quillon-cli: this quillon-cli was built without the video export\n");
    return 1;
#else
    const std::string image = HostFolder(a.positional[0]);
    if (image.empty() || !platform::IsDirectory(image)) {
        std::fprintf(stderr, "quillon-cli: %s is not a folder\n", a.positional[0].c_str());
        return 1;
    }
    const std::vector<int> chosen = CameraList(a.cams);
    // Evidence is exported from an image that is what its backup wrote, or said not to be.
    const integrity::VerifyReport check =
        integrity::VerifyImage(*integrity::OpenFolderImage(image), integrity::VerifyOptions{});
    if (!check.ok()) {
        std::fprintf(stderr, "quillon-cli: the image %s fails its check: %s\n",
                     a.positional[0].c_str(), check.Verdict().c_str());
        if (!a.force) {
            std::fprintf(stderr,
                         "quillon-cli: nothing exported (--force exports it anyway, "
                         "saying so in every file)\n");
            return 1;
        }
    }
    std::vector<std::string> entries;
    for (const platform::FindData& f : platform::FindFiles(image + "/*"))
        if (f.isDirectory && !video::CameraFileName(f.name, 0).empty() &&
            (a.entry.empty() || a.entry == f.name || a.entry == video::EntryLabel(f.name)))
            entries.push_back(f.name);
    std::sort(entries.begin(), entries.end());
    if (entries.empty()) {
        std::fprintf(stderr, "quillon-cli: %s holds no entry%s\n", a.positional[0].c_str(),
                     a.entry.empty() ? "" : (" " + a.entry).c_str());
        return 1;
    }
    const std::string out = HostFolder(a.out);
    if (out.empty() || !platform::CreateDirectoryTree(out)) {
        std::fprintf(stderr, "quillon-cli: the folder %s cannot be made\n", a.out.c_str());
        return 1;
    }
    std::atomic<bool>& stop = gStop;
    platform::OnStopSignal(OnStop);
    bool whole = true;
    for (const std::string& entry : entries) {
        video::EntryExportRequest request;
        request.entryFolder = image + "/" + entry;
        request.outRoot = out;
        request.label =
            video::EntryLabel(entry) + (check.ok() ? "" : " (the image failed its check)");
        request.stopped = [&stop] { return stop.load(); };
        request.unit = "Quillon Backup " + platform::MachineName();
        request.cameras = chosen;
        if (request.cameras.empty())
            request.cameras = video::CamerasInEntry(request.entryFolder);
        request.done = [&](int camera, const video::CameraExportResult& r) {
            if (progress && r.written)
                std::fprintf(stderr, "%s camera %d: done\n", video::EntryLabel(entry).c_str(),
                             camera + 1);
        };
        for (const video::CameraFile& f : video::ExportEntry(request)) {
            const video::CameraExportResult& r = f.result;
            if (r.written) {
                std::string where;
                for (const std::string& file : r.files)
                    where += (where.empty() ? "" : ", ") + platform::ToDrivePath(file);
                std::printf("%s camera %d: %lld pictures, %dx%d, %s\n",
                            video::EntryLabel(entry).c_str(), f.camera + 1, r.pictures, r.width,
                            r.height, where.c_str());
            } else
                std::printf("%s camera %d: no file: %s\n", video::EntryLabel(entry).c_str(),
                            f.camera + 1, r.problem.c_str());
            for (const std::string& m : r.missing)
                std::printf("  missing %s\n", m.c_str());
            // A camera the operator asked for and did not get, or a file that lacks minutes.
            if (!r.written || !r.missing.empty())
                whole = false;
        }
        if (stop.load())
            return 130;
    }
    return whole && check.ok() ? 0 : 1;
#endif
}
