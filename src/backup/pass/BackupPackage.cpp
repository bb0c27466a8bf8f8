#include "backup/pass/BackupPackage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "backup/pass/WriteGuard.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/PrivateProfile.h"
#include "records/RecordChecks.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

bool WriteRecord(const std::string& path, const BackupInfoRecord& record) {
    return platform::WriteFileAtomically(path, &record, sizeof record, true);
}

// The viewer folder of the target with its trailing separator: inside the disc image, or at the
// root of the target folder's drive.
std::string ViewerFolder(const backup::PassPlan& plan) {
    if (plan.target == backup::TargetKind::kDisc)
        return std::string(paths::kDiscImageRoot) + "\\BackupViewer\\";
    return plan.targetText.substr(0, 2) + "\\BackupViewer\\";
}

}  // namespace

bool AccessEntryInfo(const backup::HostSettings& host, BackupInfoRecord& r,
                     const std::string& entryFolder, const std::string& rangeKey, int mode) {
    const std::string path = entryFolder + "\\BackupInfo.dat";
    if (mode == kEntryInfoRead) {
        std::memset(&r, 0, sizeof r);
        platform::File f;
        if (!f.Open(path, platform::File::kRead))
            return false;
        // A file of another size or with impossible contents is as good as a missing one.
        if (f.Length() != static_cast<long long>(sizeof r) ||
            f.ReadAt(&r, sizeof r, 0) != static_cast<long long>(sizeof r) ||
            !CheckEntryInfo(r).empty()) {
            std::memset(&r, 0, sizeof r);
            return false;
        }
        return true;
    }
    if (mode == kEntryInfoUpdate) {
        const bool ok = WriteRecord(path, r);
        std::memset(&r, 0, sizeof r);
        return ok;
    }
    return WriteNewEntryInfo(host, entryFolder, rangeKey, r);
}

bool WriteNewEntryInfo(const backup::HostSettings& host, const std::string& entryFolder,
                       const std::string& rangeKey, BackupInfoRecord& r) {
    const std::string path = entryFolder + "\\BackupInfo.dat";
    r.year = static_cast<DWORD>(std::atoi(rangeKey.substr(0, 4).c_str()));
    r.month = static_cast<DWORD>(KeyNumberAt(rangeKey, 4));
    r.day = static_cast<DWORD>(KeyNumberAt(rangeKey, 6));
    r.startHour = static_cast<DWORD>(KeyNumberAt(rangeKey, 8));
    r.startMinute = static_cast<DWORD>(KeyNumberAt(rangeKey, 10));
    r.endHour = static_cast<DWORD>(KeyNumberAt(rangeKey, 12));
    r.endMinute = static_cast<DWORD>(KeyNumberAt(rangeKey, 14));
    r.camCount = static_cast<DWORD>(host.camCount);
    r.recorderKind = static_cast<DWORD>(host.recorderKind);
    r.modelCode = static_cast<DWORD>(host.modelCode);
    r.flag = 0;
    r.text[0] = '\0';
    for (int i = 0; i < kMaxCameras; ++i)
        std::snprintf(r.cameraName[i], sizeof r.cameraName[i], "%s", host.cameraNames[i]);
    return WriteRecord(path, r);
}

bool CopyFileSimple(const std::string& source, const std::string& destination) {
    platform::File in;
    platform::AtomicFile out;
    if (!in.Open(source, platform::File::kRead) || !out.Create(destination))
        return false;
    char buffer[4096];
    for (;;) {
        const long long n = in.Read(buffer, sizeof buffer);
        if (n == 0)
            return out.Commit().ok();
        if (n < 0 || !out.Write(buffer, static_cast<std::size_t>(n)))
            return false;
    }
}

bool WriteViewerIni(backup::PassJob& job) {
    const std::string root = std::string(paths::kDiscImageRoot) + "\\";
    const std::string folder = root + "BackupViewer\\";
    for (const std::string& f : {root, folder}) {
        if (const platform::Outcome may =
                CheckWriteFolder(job.plan().host, f, paths::kDiscImageRoot, true);
            !may) {
            job.report().Fail("the viewer's settings were not written: " + may.error().Said());
            return false;
        }
        platform::CreateDirectory(f);
    }
    const std::string ini = folder + "Viewer.ini";
    if (!platform::WriteFileAtomically(ini, "", 0))
        return false;
    return platform::WritePrivateProfileString("ViewerInfo", "Language", job.plan().host.language,
                                               ini);
}

namespace {

// One file of the viewer: where it is in the base folder, and where below the target it goes.
struct ViewerFile {
    std::string source;
    std::string dest;  // relative to the target's root, beginning with a separator
};

// The files "Viewer.lst" of the base folder names.
std::vector<ViewerFile> ViewerFiles(const backup::HostSettings& host, std::string& list) {
    const bool local = host.localMode != 0;
    list = local ? host.basePath + "GUIS\\Viewer.lst" : host.basePath + "\\GUIS\\Viewer.lst";
    std::vector<ViewerFile> files;
    const int count = static_cast<int>(platform::GetPrivateProfileInt("Count", "count", 0, list));
    for (int i = 1; i <= count; ++i) {
        const std::string file =
            platform::GetPrivateProfileString("Files", "file" + std::to_string(i), "", 200, list);
        const std::string dest =
            platform::GetPrivateProfileString("Dest", "dest" + std::to_string(i), "", 200, list);
        if (file.empty())
            continue;
        // The base folder ends in a separator locally and the Dest value starts with one.
        const std::string srcDest = local && !dest.empty() ? dest.substr(1) : dest;
        files.push_back({host.basePath + srcDest + "Other\\" + file, dest + file});
    }
    return files;
}

}  // namespace

platform::Outcome CheckViewerFiles(const backup::HostSettings& host) {
    using Kind = platform::Error::Kind;
    std::string list;
    const std::vector<ViewerFile> files = ViewerFiles(host, list);
    if (files.empty())
        return platform::FileLength(list) < 0
                   ? platform::Error{Kind::kNotFound,
                                     "the list of the viewer's files " + list + " is missing", ""}
                   : platform::Error{Kind::kDamaged,
                                     "the list of the viewer's files " + list + " names no file",
                                     ""};
    for (const auto& f : files)
        if (platform::FileLength(f.source) < 0)
            return platform::Error{Kind::kNotFound, "the viewer's file " + f.source + " is missing",
                                   ""};
    return platform::Succeeded();
}

std::vector<std::string> CopyViewerInto(const backup::HostSettings& host,
                                        const std::string& folder) {
    std::string list;
    const std::vector<ViewerFile> files = ViewerFiles(host, list);
    if (files.empty()) {
        // An empty viewer folder on the medium would pass for a viewer.
        const platform::Outcome listed = CheckViewerFiles(host);
        return {"the viewer was not copied: " + (listed ? "" : listed.error().Said())};
    }
    platform::CreateDirectory(folder);
    platform::RemoveLeftoverTempFiles(folder);  // what a killed run left half-written
    const std::string destBase = folder.substr(0, folder.size() - 1);
    std::vector<std::string> failed;
    for (const auto& f : files) {
        // A viewer file that cannot be copied leaves the rest to be copied, and is named.
        if (!CopyFileSimple(f.source, destBase + f.dest))
            failed.push_back("the viewer file " + f.source + " could not be copied to " + destBase +
                             f.dest);
    }
    return failed;
}

void CopyViewerFiles(backup::PassJob& job) {
    const backup::HostSettings& host = job.plan().host;
    const std::string folder = ViewerFolder(job.plan());
    if (const platform::Outcome may =
            CheckWriteFolder(host, folder, folder.substr(0, folder.find('\\') + 1), true);
        !may) {
        job.report().Fail("the viewer was not copied: " + may.error().Said());
        return;
    }
    for (const std::string& failure : CopyViewerInto(host, folder))
        job.report().Fail(failure);
}

void ResetViewerOption(backup::IOperatorEvents& view, backup::RunState& run) {
    view.ViewerOffered(true);
    view.ViewerChoiceCleared();
    run.includeViewer = 0;
}
