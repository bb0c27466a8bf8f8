#include "backup/schedule/ScheduleAfterPass.h"

#include "storage/RecorderPaths.h"

bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report) {
    for (int i = 0; i < kScheduleSlots; ++i)
        if (schedule.table[static_cast<std::size_t>(i)].bUsed && !report.EntryComplete(i))
            return false;
    return true;
}

std::vector<KeptEntry> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                   const BackupReport& report) {
    std::vector<KeptEntry> kept;
    for (const std::string& label : schedule.rows) {
        const std::string entry = LabelToEntry(label, dateType);
        for (int i = 0; i < kScheduleSlots; ++i) {
            const ScheduleEntry& e = schedule.table[static_cast<std::size_t>(i)];
            if (e.bUsed && SlotEntryString(e) == entry) {
                const EntryOutcome outcome = report.Entry(i);
                kept.push_back({label, outcome.why, outcome.recordingDamaged});
            }
        }
    }
    return kept;
}

std::string KeptEntryLine(const KeptEntry& kept) {
    return kept.recordingDamaged ? DamagedEntryNote(kept.label) : kept.label + ": " + kept.why;
}

std::string DamagedEntryNote(const std::string& label) {
    return label + ": its recording is damaged; another backup copies the same";
}

std::string LabelledFailure(const PassFailure& failure, int dateType) {
    if (!IsEntryString(failure.entry))
        return failure.Text();
    const std::string label = EntryToLabel(failure.entry, dateType);
    return label.empty() ? failure.Text() : label + ": " + failure.what;
}

std::string ImageEntryName(const ScheduleEntry& e, int dateType) {
    return NormalizeLabelSeparators(SlotEntryString(e), dateType);
}
