#include "storage/WorkingFolder.h"

#include <cstring>

#include "app/CHKLM.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

bool SaveMinuteMap(BackupContext& ctx, const std::string& parent, const std::string& entry,
                   const std::string& day) {
    const std::string folder = parent + "\\" + entry + "\\" + day;
    platform::CreateDirectory(folder);
    platform::File f;
    if (!f.Open(folder + "\\" + day + ".DAT", platform::File::kCreateWrite))
        return false;
    return f.Write(ctx.m_SelMap.data(), ctx.m_SelMap.size());
}

bool SaveScheduleTable(BackupContext& ctx) {
    platform::CreateDirectory(paths::WorkingFolder(ctx.m_strExePath));
    platform::File f;
    if (!f.Open(paths::ReservePath(ctx.m_strExePath), platform::File::kCreateWrite))
        return false;
    return f.Write(ctx.m_Schedule.data(), sizeof ctx.m_Schedule);
}

bool LoadScheduleTable(BackupContext& ctx) {
    platform::File f;
    if (!f.Open(paths::ReservePath(ctx.m_strExePath), platform::File::kRead))
        return false;
    return f.ReadAt(ctx.m_Schedule.data(), sizeof ctx.m_Schedule, 0) >= 0;
}

void DeleteFolderTree(const std::string& folder) {
    for (const auto& found : platform::FindFiles(folder + "\\*.*")) {
        const std::string full = folder + "\\" + found.name;
        if (!found.isDirectory) {
            platform::SetFileAttributesNormal(full);
            platform::DeleteFile(full);
        } else if (found.name != "." && found.name != "..") {
            DeleteFolderTree(full);
        }
    }
    platform::SetFileAttributesNormal(folder);
    platform::RemoveDirectory(folder);
}

void ClearReservedFolder(BackupContext& ctx) {
    std::memset(ctx.m_Schedule.data(), 0, sizeof ctx.m_Schedule);
    ctx.m_nTotalSize = 0;
    DeleteFolderTree(paths::WorkingFolder(ctx.m_strExePath));
}

bool ReadMinuteMapFile(const std::string& path, MinuteMapBlock& map) {
    map.fill(0);
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return false;
    if (f.ReadAt(map.data(), map.size(), 0) < 0)
        map.fill(0);
    return true;
}

BOOL LoadDayMinuteMap(BackupContext& ctx, const std::string& folder, const std::string& day) {
    ctx.m_nExistCamCount = 0;
    MinuteMapBlock& scratch = ctx.m_DayMapTmp;
    if (!ReadMinuteMapFile(paths::DayMapPath(folder, day), scratch))
        return 0;
    for (int c = 0; c < kMaxCameras; ++c) {
        for (int m = 0; m < 1440; ++m) {
            const std::size_t at = static_cast<std::size_t>(c) * 1440 + m;
            if (!scratch[at])
                continue;
            ctx.m_RecMap[at] = 1;
            ctx.m_bHourHasRec[m / 60] = 1;
            ctx.m_bMinuteHasRec[m] = 1;
            ctx.m_bCamExist[c] = 1;
        }
    }
    scratch.fill(0);
    return 1;
}

BOOL ScanRecordedDay(BackupContext& ctx, const std::string& day) {
    ctx.m_RecMap.fill(0);
    return LoadDayMinuteMap(ctx, paths::DayFolder(GetStoragePath(), day), day);
}
