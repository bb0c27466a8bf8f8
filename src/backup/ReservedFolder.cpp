#include "backup/ReservedFolder.h"

#include <cstring>

#include "app/CHKLM.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

bool SaveMinuteMap(BackupContext& ctx, const std::string& parent, const std::string& entry,
                   const std::string& day) {
    return storage::SaveMinuteMap(parent, entry, day, ctx.m_SelMap);
}

bool SaveScheduleTable(BackupContext& ctx) {
    return storage::SaveScheduleTable(ctx.m_host.basePath, ctx.m_Schedule);
}

bool LoadScheduleTable(BackupContext& ctx) {
    const storage::ScheduleLoad load =
        storage::LoadScheduleTable(ctx.m_host.basePath, ctx.m_Schedule);
    if (load.outcome == storage::ScheduleLoad::kRejected)
        ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "Q010001") + "\n" + load.problem);
    return load.outcome == storage::ScheduleLoad::kLoaded;
}

bool RemoveScheduleFile(BackupContext& ctx) {
    return storage::RemoveScheduleFile(ctx.m_host.basePath);
}

void ClearReservedFolder(BackupContext& ctx) {
    std::memset(ctx.m_Schedule.data(), 0, sizeof ctx.m_Schedule);
    ctx.m_nTotalSize = 0;
    storage::ClearWorkingFolder(ctx.m_host.basePath);
}

BOOL LoadDayMinuteMap(BackupContext& ctx, const std::string& folder, const std::string& day) {
    ctx.m_nExistCamCount = 0;
    MinuteMapBlock& scratch = ctx.m_DayMapTmp;
    if (!storage::ReadDayMap(folder, day, scratch))
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
    return LoadDayMinuteMap(ctx, paths::DayFolder(ctx.StorageRoot(), day), day);
}
