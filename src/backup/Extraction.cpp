#include "backup/Extraction.h"

#include <cctype>
#include <cstdio>

#include "app/CHKLM.h"
#include "backup/BackupPackage.h"
#include "backup/CopyEngine.h"
#include "backup/MinuteSegment.h"
#include "platform/AtomicFile.h"
#include "platform/FolderIndex.h"
#include "records/RecordChecks.h"
#include "storage/IndexSnapshot.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

enum class Kind { kAllCameras, kSelectedCameras };

std::string Clock(int hour, int minute) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// True when the entry's minute map says one of its cameras recorded in the minute: such a
// minute that cannot be copied is a failure, a minute without recording is not.
bool Recorded(const MinuteMapBlock& map, int hour, int minute) {
    for (int c = 0; c < kMaxCameras; ++c)
        if (map[static_cast<std::size_t>(c) * 1440 + hour * 60 + minute])
            return true;
    return false;
}

// What one entry's walk needs: its image paths, the recorder's folders (each listed once for
// the whole entry) and the model its audio is named by.
struct EntryWalk {
    EntryImagePaths p;
    std::string root;
    platform::FolderIndex dayFolder, audioFolder;
    int modelCode = 0;
    MinuteMapBlock map{};
    bool mapRebuilt = false;  // the working folder's map was damaged; this one is the day's
};

// The model the entry was added with (kept in its information file), so that a later backup
// names the audio as the recorder of that entry does. A damaged file is a failure of the entry.
int EntryModelCode(BackupContext& ctx, const std::string& entry) {
    const std::string path = paths::WorkingInfoPath(ctx.m_strExePath, entry);
    BackupInfoRecord info{};
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return ctx.m_nModelCode;  // the closing copy reports the missing file
    const long long length = f.Length();
    std::string problem;
    if (length != static_cast<long long>(sizeof info) || f.ReadAt(&info, sizeof info, 0) != length)
        problem = "it holds " + std::to_string(length) + " bytes instead of " +
                  std::to_string(sizeof info);
    else
        problem = CheckEntryInfo(info, entry);
    if (problem.empty())
        return static_cast<int>(info.modelCode);
    ctx.m_report.Fail(entry + ": the information file " + path + " is damaged (" + problem + ")");
    return ctx.m_nModelCode;
}

// The minutes that must be in the image: the entry's minute map, or, when that is damaged, the
// recorder's day map for the entry's range and cameras.
void LoadEntryMap(BackupContext& ctx, const ScheduleEntry& e, EntryWalk& w) {
    const std::string path = paths::WorkingMinuteMapPath(ctx.m_strExePath, w.p.entry, w.p.day);
    const storage::MapRead read = storage::ReadMinuteMapFile(path, w.map);
    if (!read.found || read.problem.empty())
        return;
    w.mapRebuilt = true;
    ctx.m_report.Fail(w.p.entry + ": the minute map " + path + " is damaged (" + read.problem +
                      ")");
    MinuteMapBlock day{};
    storage::ReadDayMap(paths::DayFolder(w.root, w.p.day), w.p.day, day);
    for (auto& b : day)
        b = b ? 1 : 0;
    ScheduleTable one{};
    one[0] = e;
    BuildMinuteMap(one, 0, day, w.map);
}

// Copies the minute's audio of the channels below channelLimit that belong to the entry.
// False when the backup was stopped.
bool CopyAudio(BackupContext& ctx, const ScheduleEntry& e, const EntryWalk& w, int hour, int minute,
               int channelLimit) {
    const std::string dest = paths::EntryAudioDest(w.p.imageRoot, w.p.entry, w.p.day);
    for (int c = 0; c < channelLimit; ++c) {
        if (!e.bCam[c])
            continue;
        platform::FindData audio;
        const std::string name = paths::SegmentName(w.p.day, hour, minute) +
                                 paths::AudioSuffix(w.modelCode) + std::to_string(c);
        if (w.audioFolder.Find(name, audio))
            CopyFoundFilesToFolder(ctx, {audio}, dest);
        UpdateBackupProgress(ctx);
        if (!ctx.m_bBackupRunning)
            return false;
    }
    return true;
}

// The recorder's index and data file of a minute, copied whole. The data file first; the index
// under a read transaction, so that it is one committed state even while the recorder writes the
// minute; then, if the recorder added pictures meanwhile, the data file again, so that it holds
// every picture the copied index names. A transient journal beside them is no part of the minute.
bool CopyWholeMinute(BackupContext& ctx, int entryIndex, const EntryWalk& w, int hour, int minute,
                     std::string& why) {
    const std::string segment = paths::SegmentName(w.p.day, hour, minute);
    const platform::FindData* dat = nullptr;
    const platform::FindData* idx = nullptr;
    const std::vector<platform::FindData> all = w.dayFolder.Match(segment + "N.*");
    for (const auto& f : all) {
        // One file of each name, the first in search order, as a folder without case has.
        if (!dat && SameName(f.name, segment + "N.dat"))
            dat = &f;
        if (!idx && SameName(f.name, segment + "N.idx"))
            idx = &f;
    }
    why = "its files are missing";
    if (!dat && !idx)
        return false;
    const std::string dest = paths::EntryDestFolder(w.p.imageRoot, w.p.entry, w.p.day);
    if (idx) {
        // Pages waiting in a write-ahead log are no part of the index file's bytes: the minute
        // is rebuilt through the index instead, for every camera.
        const long long wal = platform::FileLength(idx->hostPath + "-wal");
        if (wal > 0) {
            ScheduleEntry every = ctx.m_Schedule[static_cast<std::size_t>(entryIndex)];
            std::fill(std::begin(every.bCam), std::end(every.bCam), 1u);
            return RebuildMinute(
                       ctx, every, paths::MinutePrefix(w.root, w.p.day, hour, minute),
                       paths::EntryMinutePrefix(w.p.imageRoot, w.p.entry, w.p.day, hour, minute),
                       &why) == 1;
        }
    }
    if (dat && !CopyFoundFilesToFolder(ctx, {*dat}, dest))
        return false;
    if (!idx)
        return true;
    {
        const storage::IndexSnapshot snapshot(idx->hostPath);
        if (!snapshot.held()) {
            why = "its index is being written or was left half-written by the recorder";
            if (dat)
                platform::DeleteFile(dest + dat->name);
            return false;
        }
        if (!CopyFoundFilesToFolder(ctx, {*idx}, dest))
            return false;
    }
    for (int again = 0; dat && again < 3; ++again) {
        const long long now = platform::FileLength(dat->hostPath);
        if (now < 0 || now == platform::FileLength(dest + dat->name))
            break;
        if (!CopyFileOverlapped(ctx, dat->hostPath, dest + dat->name))
            return false;
    }
    return true;
}

int MakeEntry(BackupContext& ctx, int entryIndex, const std::string& startKey,
              const std::string& endKey, Kind kind) {
    const std::size_t failuresBefore = ctx.m_report.failureCount();
    EntryWalk w;
    w.p = MakeEntryImagePaths(ctx, startKey, endKey);
    if (const std::string problem = CreateEntryFolders(ctx, w.p); !problem.empty()) {
        ctx.m_report.Fail(w.p.entry + ": nothing was copied: " + problem);
        ctx.m_report.EntryDone(entryIndex, false);
        return 1;
    }
    // What a killed run left half-written under temporary names.
    platform::RemoveLeftoverTempFiles(paths::EntryDayFolder(w.p.imageRoot, w.p.entry, w.p.day));
    platform::RemoveLeftoverTempFiles(paths::EntryAudioFolder(w.p.imageRoot, w.p.entry, w.p.day));
    const ScheduleEntry& e = ctx.m_Schedule[static_cast<std::size_t>(entryIndex)];
    w.root = ctx.StorageRoot();
    w.dayFolder = platform::FolderIndex(paths::DayFolder(w.root, w.p.day));
    w.audioFolder = platform::FolderIndex(paths::DayFolder(w.root, w.p.day) + "\\Audio");
    w.modelCode = EntryModelCode(ctx, w.p.entry);
    LoadEntryMap(ctx, e, w);
    const std::string destFolder = paths::EntryDestFolder(w.p.imageRoot, w.p.entry, w.p.day);

    bool running = true;
    for (int h = w.p.startHour; running && h <= w.p.endHour && h < 24; ++h) {
        const int first = h == w.p.startHour ? w.p.startMinute : 0;
        const int last = h == w.p.endHour ? w.p.endMinute : 59;
        for (int m = first; running && m <= last && m < 60; ++m) {
            // A target taken away writes no error: what follows would land under its name on
            // another volume. One look per minute sees it.
            if (TargetLost(ctx)) {
                running = false;
                break;
            }
            const std::size_t failures = ctx.m_report.failureCount();
            bool copied;
            std::string why;
            if (kind == Kind::kSelectedCameras) {
                copied = CopyMinuteSegment(
                             ctx, entryIndex, paths::MinutePrefix(w.root, w.p.day, h, m),
                             paths::EntryMinutePrefix(w.p.imageRoot, w.p.entry, w.p.day, h, m),
                             &why) == 1;
            } else {
                copied = CopyWholeMinute(ctx, entryIndex, w, h, m, why);
            }
            if (copied) {
                UpdateBackupProgress(ctx);
                running =
                    CopyAudio(ctx, e, w, h, m, kind == Kind::kSelectedCameras ? 32 : kMaxCameras);
            } else if (Recorded(w.map, h, m) && ctx.m_report.failureCount() == failures) {
                ctx.m_report.Fail(w.p.entry + ": minute " + Clock(h, m) + " not copied: " + why);
            }
            if (!ctx.m_bBackupRunning)
                running = false;
        }
    }
    // Also after a stop: the image must say what it holds (unless it can hold nothing more).
    if (ctx.m_report.targetLost()) {
        ctx.m_report.EntryDone(entryIndex, false);
        return 1;
    }
    const std::string infoPath = paths::WorkingInfoPath(ctx.m_strExePath, w.p.entry);
    const std::string mapPath = paths::WorkingMinuteMapPath(ctx.m_strExePath, w.p.entry, w.p.day);
    if (!CopyFilesToFolder(ctx, infoPath, destFolder))
        ctx.m_report.Fail(w.p.entry + ": the information file " + infoPath + " is missing");
    if (w.mapRebuilt) {
        // The image carries the map of what it holds, not the damaged one.
        const std::string root = w.p.imageRoot.substr(0, w.p.imageRoot.size() - 1);
        if (!storage::SaveMinuteMap(root, w.p.entry, w.p.day, w.map))
            ctx.m_report.Fail(w.p.entry + ": the minute map could not be written into the image");
    } else if (!CopyFilesToFolder(ctx, mapPath, destFolder)) {
        ctx.m_report.Fail(w.p.entry + ": the minute map file " + mapPath + " is missing");
    }
    ctx.m_report.EntryDone(entryIndex, running && ctx.m_report.failureCount() == failuresBefore);
    return 1;
}

}  // namespace

int AllCameraMakeFile(BackupContext& ctx, int entryIndex, const std::string& startKey,
                      const std::string& endKey) {
    return MakeEntry(ctx, entryIndex, startKey, endKey, Kind::kAllCameras);
}

int SelectCameraMakeFile(BackupContext& ctx, int entryIndex, const std::string& startKey,
                         const std::string& endKey) {
    return MakeEntry(ctx, entryIndex, startKey, endKey, Kind::kSelectedCameras);
}
