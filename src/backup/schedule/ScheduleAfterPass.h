#pragma once
// What a pass leaves of the schedule. The entries it made whole leave it with their working
// files; the others stay, with their minute maps and information files, so that nothing the
// operator scheduled is lost to a stopped or failed pass.
#include <string>
#include <vector>

#include "backup/pass/BackupReport.h"
#include "backup/schedule/ScheduleState.h"
#include "records/ScheduleEntry.h"

// True when the last pass made every used entry whole.
bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report);
// An entry still in the schedule after a pass: its label, the first thing the pass could not
// write of it, and whether that lies in the recording itself.
struct KeptEntry {
    std::string label;
    std::string why;
    bool recordingDamaged = false;
};
// The entries still in the schedule, in the list's order.
std::vector<KeptEntry> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                   const BackupReport& report);
// What the operator is told of a kept entry: "label: why", or, when its recording is damaged,
// DamagedEntryNote(label) (another backup would copy the same, so it is no "next backup" to wait
// for).
std::string KeptEntryLine(const KeptEntry& kept);
// The words for an entry whose recording is damaged, the same in every front end:
// "label: its recording is damaged; another backup copies the same".
std::string DamagedEntryNote(const std::string& label);
// A failure of the report as the operator reads it: one of an entry named by its folder
// ("2010_05_23=10,00~10,09") begins with the entry's label of the date type instead
// ("2010-05-23 - 10:00 ~ 10:09: ..."); any other as its text.
std::string LabelledFailure(const PassFailure& failure, int dateType);
