#include "backup/ScheduleAfterPass.h"

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

namespace {

// "YYYY_MM_DD=hh,mm~HH,MM", as MakeEntryString forms it.
bool IsEntryString(const std::string& s) {
    static constexpr char kForm[] = "dddd_dd_dd=dd,dd~dd,dd";
    if (s.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (kForm[i] == 'd' ? s[i] < '0' || s[i] > '9' : s[i] != kForm[i])
            return false;
    return true;
}

}  // namespace

std::string LabelledFailure(const std::string& failure, int dateType) {
    const std::size_t colon = failure.find(": ");
    if (colon == std::string::npos || !IsEntryString(failure.substr(0, colon)))
        return failure;
    const std::string label = EntryToLabel(failure.substr(0, colon), dateType);
    return label.empty() ? failure : label + failure.substr(colon);
}

std::string ImageEntryName(const ScheduleEntry& e, int dateType) {
    return NormalizeLabelSeparators(SlotEntryString(e), dateType);
}
