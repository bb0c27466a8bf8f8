#include "backup/schedule/ReservedFolder.h"

#include <cstring>

#include "app/CHKLM.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

bool SaveMinuteMap(const backup::DaySelection& sel, const std::string& parent,
                   const std::string& entry, const std::string& day) {
    return storage::SaveMinuteMap(parent, entry, day, sel.selMap);
}

bool SaveScheduleTable(const backup::HostSettings& host, const backup::ScheduleState& schedule) {
    return storage::SaveScheduleTable(host.basePath, schedule.table);
}

bool LoadScheduleTable(const backup::HostSettings& host, backup::ScheduleState& schedule,
                       backup::OperatorPrompts& prompts) {
    const storage::ScheduleLoad load = storage::LoadScheduleTable(host.basePath, schedule.table);
    if (load.outcome == storage::ScheduleLoad::kRejected)
        prompts.Tell(prompts.Text("BACKUP", "Q010001") + "\n" + load.problem);
    return load.outcome == storage::ScheduleLoad::kLoaded;
}

bool RemoveScheduleFile(const backup::HostSettings& host) {
    return storage::RemoveScheduleFile(host.basePath);
}

void ClearReservedFolder(const backup::HostSettings& host, backup::ScheduleState& schedule) {
    std::memset(schedule.table.data(), 0, sizeof schedule.table);
    schedule.totalKB = 0;
    storage::ClearWorkingFolder(host.basePath);
}

bool LoadDayMinuteMap(backup::DaySelection& sel, const std::string& folder,
                      const std::string& day) {
    sel.existCamCount = 0;
    MinuteMapBlock& scratch = sel.dayMapTmp;
    if (!storage::ReadDayMap(folder, day, scratch))
        return false;
    for (int c = 0; c < kMaxCameras; ++c) {
        for (int m = 0; m < 1440; ++m) {
            const std::size_t at = static_cast<std::size_t>(c) * 1440 + m;
            if (!scratch[at])
                continue;
            sel.recMap[at] = 1;
            sel.hourHasRec[m / 60] = 1;
            sel.minuteHasRec[m] = 1;
            sel.camExist[c] = 1;
        }
    }
    scratch.fill(0);
    return true;
}

bool ScanRecordedDay(const backup::HostSettings& host, backup::DaySelection& sel,
                     const std::string& day) {
    sel.recMap.fill(0);
    return LoadDayMinuteMap(sel, paths::DayFolder(host.StorageRoot(), day), day);
}
