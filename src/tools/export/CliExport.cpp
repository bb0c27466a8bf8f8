// quillon-cli export (in quillon-cli-video, which has the encoder): an image's entries as MP4
// files, one per camera, for players that know nothing of images. The image is checked against its
// manifest first: what is handed over as evidence comes from an image that is what its backup
// wrote.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/UnitName.h"
#include "backup/exhibit/PassClock.h"
#include "backup/exhibit/ReportedClock.h"
#include "cli/CliCommands.h"
#include "export/RedactionCopy.h"
#include "export/RedactionMasks.h"
#include "integrity/CustodyLog.h"
#include "integrity/EntryStanding.h"
#include "integrity/ImageCopyOut.h"
#include "integrity/Manifest.h"
#include "integrity/Verify.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Signals.h"
#include "records/CameraList.h"
#include "video/ClockStatement.h"
#include "video/EntryExport.h"
#include "video/EntryVideoMaker.h"

namespace {

// Camera numbers 1-64 as given to --cams, from 0; empty for "all" or nothing given.
std::vector<int> CameraList(const std::string& text) {
    if (text.empty())
        return {};
    auto cameras = ParseCameraList(text);
    if (!cameras)
        throw UsageError{cameras.error().Said()};
    for (int& camera : *cameras)
        --camera;
    return *cameras;
}

// The entry folders of an image folder.
std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const platform::FindData& f : platform::FindFiles(folder + "/*"))
        if (f.isDirectory && f.name != "." && f.name != "..")
            names.push_back(f.name);
    return names;
}

std::atomic<bool> gStop{false};

void OnStop(int) {
    gStop = true;
}

}  // namespace

int CmdExport(const CliArgs& a, bool progress, int& written) {
    written = 0;
    if (!a.mp4)
        throw UsageError{"export takes --mp4, the only kind of file it makes"};
    const bool oneImage = a.disc.empty() ? a.positional.size() == 1 : a.positional.empty();
    if (!oneImage || a.out.empty())
        throw UsageError{"export takes one image folder, or --disc LETTER, and --out DIR"};
    const std::string named = a.disc.empty() ? a.positional[0] : "the disc in " + a.disc;
    // A masks file wrong anywhere is refused before anything is made.
    std::unique_ptr<MaskFile> masks;
    if (!a.redact.empty()) {
        std::string text;
        masks = std::make_unique<MaskFile>();
        if (!platform::ReadWholeFile(CommandHostPath(a.redact), text, 16 << 20))
            return Fail("the masks file " + a.redact + " cannot be read; nothing exported");
        if (const std::string why = ParseMaskFile(text, *masks); !why.empty())
            return Fail(a.redact + ": " + why + "; nothing exported");
    }
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened =
        OpenCommandImage(a.disc, a.disc.empty() ? a.positional[0] : std::string());
    if (!opened)
        return Fail(opened.error().Said());
    const std::unique_ptr<integrity::ImageFiles> image = std::move(*opened);
    const std::vector<int> chosen = CameraList(a.cams);
    if (masks) {
        // The copy names its master by the manifest it was checked against.
        const platform::Expected<std::string> manifest = image->ReadWhole(integrity::kManifestName);
        if (!manifest)
            return Fail("a redacted copy names its master image by its manifest, which " + named +
                        " lacks; nothing exported");
        masks->plan.masterHash = integrity::ManifestHash(*manifest);
    }
    std::vector<RedactedFile> redacted;
    // Evidence is exported from an image that is what its backup wrote, or said not to be.
    const integrity::VerifyReport check = CheckCommandImage(
        *image, a.disc.empty() ? CommandHostPath(a.positional[0]) : std::string());
    // A partial image vouches for the entries its backup made whole; each of the others, as every
    // entry of an image that fails its check, only goes with --force and says so in its files.
    const bool partial = integrity::OnlyPartial(check);
    if (!check.ok() && !partial) {
        Fail("the image " + named + " fails its check: " + check.Verdict());
        if (!a.force)
            return Fail("nothing exported (--force exports it anyway, saying so in every file)");
    }
    // A disc's files are read through its file system; the export reads files, so each entry
    // is copied out in turn beside the export's own files and deleted after it.
    std::vector<integrity::ImageFiles::Entry> listing;
    if (!a.disc.empty()) {
        platform::Expected<std::vector<integrity::ImageFiles::Entry>> listed = image->List();
        if (!listed)
            return Fail(listed.error().Said());
        listing = std::move(*listed);
    }
    std::vector<std::string> entries;
    for (const std::string& name : a.disc.empty() ? FolderNames(CommandHostPath(a.positional[0]))
                                                  : integrity::TopFolders(listing))
        if (!video::CameraFileName(name, 0).empty() &&
            (a.entry.empty() || a.entry == name || a.entry == video::EntryLabel(name)))
            entries.push_back(name);
    std::sort(entries.begin(), entries.end());
    if (entries.empty())
        return Fail(named + " holds no entry" + (a.entry.empty() ? "" : " " + a.entry));
    const std::string out = CommandHostPath(a.out);
    if (out.empty() || !platform::CreateDirectoryTree(out))
        return Fail("the folder " + a.out + " cannot be made");
    std::unique_ptr<integrity::ScratchFolder> copy;
    if (!a.disc.empty()) {
        // Another export into this folder may be using a copy of its own meanwhile.
        copy = std::make_unique<integrity::ScratchFolder>(out, kDiscScratchStem);
        if (copy->path().empty())
            return Fail("no folder for the disc's files can be made in " + a.out);
    }
    const std::string scratch = copy ? copy->path() : std::string();
    std::atomic<bool>& stop = gStop;
    platform::OnStopSignal(OnStop);
    bool whole = check.ok() || partial;
    bool zoneSaid = false;
    // The files state the recorder's clock as the image's backup measured it, and correct their
    // signed start by it.
    const ports::MeasuredClock clock = exhibit::MeasuredOf(exhibit::ClockOfImage(*image));
    for (const std::string& entry : entries) {
        const std::string lacks = integrity::WhatEntryLacks(check, entry);
        if (!lacks.empty() && !a.force) {
            std::printf(
                "%s: not exported, %s (--force exports it anyway, saying so in its "
                "files)\n",
                video::EntryLabel(entry).c_str(), lacks.c_str());
            whole = false;
            continue;
        }
        if (!lacks.empty())
            whole = false;
        video::EntryExportRequest request;
        if (scratch.empty()) {
            request.entryFolder = CommandHostPath(a.positional[0]) + "/" + entry;
        } else if (const platform::Outcome copied =
                       integrity::CopyImageFilesOut(*image, listing, entry + "/", scratch);
                   !copied) {
            std::printf("%s: nothing exported: %s\n", video::EntryLabel(entry).c_str(),
                        copied.error().Said().c_str());
            return 1;
        } else {
            request.entryFolder = scratch + "/" + entry;
        }
        request.outFolder = out + "/" + video::PlainEntryName(entry);
        request.label = video::EntryLabel(entry) + (lacks.empty() ? "" : " (" + lacks + ")");
        request.stopped = [&stop] { return stop.load(); };
        request.unit = app::UnitName();
        request.cameras = chosen;
        request.clock = clock;
        request.redaction = masks ? &masks->plan : nullptr;
        if (request.cameras.empty())
            request.cameras = video::CamerasInEntry(request.entryFolder);
        if (!zoneSaid) {
            // The files' text is the recorder's clock, which says nothing without its zone.
            zoneSaid = true;
            std::printf("recorded times are the recorder's clock in %s; %s\n",
                        video::EntryZoneText(entry).c_str(), video::ClockStatement(clock).c_str());
        }
        request.done = [&](int camera, const video::CameraExportResult& r) {
            if (progress && r.written)
                std::fprintf(stderr, "%s camera %d: done\n", video::EntryLabel(entry).c_str(),
                             camera + 1);
        };
        for (const video::CameraFile& f : video::ExportEntry(request)) {
            const video::CameraExportResult& r = f.result;
            if (r.written) {
                written += static_cast<int>(r.files.size());
                for (std::size_t k = 0; k < r.files.size(); ++k)
                    redacted.push_back(
                        {r.files[k], f.camera,
                         k < r.redacted.size() ? r.redacted[k] : video::FileRedaction{}});
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
        if (!scratch.empty())
            platform::DeleteTree(scratch + "/" + entry);
        if (stop.load())
            return 130;
    }
    if (masks && written > 0) {
        if (const std::string why = WriteRedactionAccount(out, *masks, redacted); !why.empty())
            return Fail(why);
        std::printf("redacted copy of %s: %s and %s in %s\n", masks->plan.masterHash.c_str(),
                    kRedactionAccountName, integrity::kManifestName, a.out.c_str());
    }
    return whole ? 0 : 1;
}
