#include "backup/schedule/ScheduleListing.h"

#include "backup/pass/BackupPackage.h"
#include "backup/schedule/EntrySize.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

namespace backup {

const ListedEntry* ScheduleListing::Held(const std::string& label) const {
    for (const ListedEntry& e : entries)
        if (e.label == label && e.slot >= 0)
            return &e;
    return nullptr;
}

ScheduleListing ListSchedule(const HostSettings& host, const CProfileReadWrite& profile,
                             const ScheduleState& schedule) {
    ScheduleListing listing;
    listing.totalKB = schedule.totalKB;
    listing.totalText = FormatTotalSize(profile, schedule.totalKB);
    for (const std::string& label : schedule.rows) {
        ListedEntry e;
        e.label = label;
        const std::string entry = LabelToEntry(label, host.dateType);
        if (const ScheduleEntry* slot =
                FindSlotByKeys(schedule.table, EntryTimeKey(entry, 0), EntryTimeKey(entry, 1))) {
            e.slot = static_cast<int>(slot - schedule.table.data());
            e.record = *slot;
        }
        // Read into a record of its own: the schedule's is the picked entry's.
        BackupInfoRecord info{};
        if (AccessEntryInfo(host, info, paths::WorkingEntryFolder(host.basePath, entry), entry,
                            kEntryInfoRead)) {
            e.memo = info.memo;
            e.model = info.modelCode;
        } else {
            const std::string path = paths::WorkingInfoPath(host.basePath, entry);
            e.infoProblem = path + (platform::FileExists(path) ? " is damaged" : " is missing");
        }
        if (e.model == 0)
            e.model = static_cast<DWORD>(host.modelCode);
        listing.entries.push_back(e);
    }
    return listing;
}

}  // namespace backup
