#include "backup/Extraction.h"

#include <cstdio>

#include "app/CHKLM.h"
#include "backup/BackupPackage.h"
#include "backup/CopyEngine.h"
#include "storage/MinuteCopy.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

enum class Kind { kAllCameras, kSelectedCameras };

std::string Clock(int hour, int minute) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

// True when the entry's minute map says one of its cameras recorded in the minute: such a
// minute that cannot be copied is a failure, a minute without recording is not.
bool Recorded(const MinuteMapBlock& map, int hour, int minute) {
    for (int c = 0; c < kMaxCameras; ++c)
        if (map[static_cast<std::size_t>(c) * 1440 + hour * 60 + minute])
            return true;
    return false;
}

// Copies the minute's audio of the channels below channelLimit that belong to the entry.
// False when the backup was stopped.
bool CopyAudio(BackupContext& ctx, const ScheduleEntry& e, const EntryImagePaths& p,
               const std::string& root, int hour, int minute, int channelLimit) {
    for (int c = 0; c < channelLimit; ++c) {
        if (!e.bCam[c])
            continue;
        CopyFilesToFolder(ctx, paths::AudioPath(root, p.day, hour, minute, c, ctx.m_nModelCode),
                          paths::EntryAudioDest(p.imageRoot, p.entry, p.day));
        UpdateBackupProgress(ctx);
        if (!ctx.m_bBackupRunning)
            return false;
    }
    return true;
}

int MakeEntry(BackupContext& ctx, int entryIndex, const std::string& startKey,
              const std::string& endKey, Kind kind) {
    const EntryImagePaths p = MakeEntryImagePaths(ctx, startKey, endKey);
    CreateEntryFolders(p);
    const ScheduleEntry& e = ctx.m_Schedule[static_cast<std::size_t>(entryIndex)];
    const std::string root = GetStoragePath();
    const std::string destFolder = paths::EntryDestFolder(p.imageRoot, p.entry, p.day);
    const std::string infoPath = paths::WorkingInfoPath(ctx.m_strExePath, p.entry);
    const std::string mapPath = paths::WorkingMinuteMapPath(ctx.m_strExePath, p.entry, p.day);
    MinuteMapBlock map{};
    ReadMinuteMapFile(mapPath, map);

    bool running = true;
    for (int h = p.startHour; running && h <= p.endHour && h < 24; ++h) {
        const int first = h == p.startHour ? p.startMinute : 0;
        const int last = h == p.endHour ? p.endMinute : 59;
        for (int m = first; running && m <= last && m < 60; ++m) {
            bool copied;
            std::string why;
            if (kind == Kind::kSelectedCameras) {
                copied =
                    CopyMinuteSegment(ctx, entryIndex, paths::MinutePrefix(root, p.day, h, m),
                                      paths::EntryMinutePrefix(p.imageRoot, p.entry, p.day, h, m),
                                      &why) == 1;
            } else {
                copied = CopyFilesToFolder(ctx, paths::MinuteWildcard(root, p.day, h, m),
                                           destFolder) != 0;
                why = "its files are missing";
            }
            if (copied) {
                UpdateBackupProgress(ctx);
                running = CopyAudio(ctx, e, p, root, h, m,
                                    kind == Kind::kSelectedCameras ? 32 : kMaxCameras);
            } else if (Recorded(map, h, m)) {
                ctx.m_report.Fail(p.entry + ": minute " + Clock(h, m) + " not copied: " + why);
            }
            if (!ctx.m_bBackupRunning)
                running = false;
        }
    }
    // Also after a stop: the image must say what it holds.
    if (!CopyFilesToFolder(ctx, infoPath, destFolder))
        ctx.m_report.Fail(p.entry + ": the information file " + infoPath + " is missing");
    if (!CopyFilesToFolder(ctx, mapPath, destFolder))
        ctx.m_report.Fail(p.entry + ": the minute map file " + mapPath + " is missing");
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
