#include "backup/ScheduleAfterPass.h"

#include "storage/RecorderPaths.h"

bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report) {
    for (int i = 0; i < kScheduleSlots; ++i)
        if (schedule.table[static_cast<std::size_t>(i)].bUsed && !report.EntryComplete(i))
            return false;
    return true;
}

std::vector<std::string> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                     const BackupReport& report) {
    std::vector<std::string> kept;
    for (const std::string& label : schedule.rows) {
        const std::string entry = LabelToEntry(label, dateType);
        for (int i = 0; i < kScheduleSlots; ++i) {
            const ScheduleEntry& e = schedule.table[static_cast<std::size_t>(i)];
            if (e.bUsed && SlotEntryString(e) == entry)
                kept.push_back(label + ": " + report.Entry(i).why);
        }
    }
    return kept;
}

std::string ImageEntryName(const ScheduleEntry& e, int dateType) {
    return NormalizeLabelSeparators(SlotEntryString(e), dateType);
}
