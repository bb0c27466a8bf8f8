#pragma once
// What a pass leaves of the schedule. The entries it made whole leave it with their working
// files; the others stay, with their minute maps and information files, so that nothing the
// operator scheduled is lost to a stopped or failed pass.
#include <string>
#include <vector>

#include "backup/BackupReport.h"
#include "backup/ScheduleState.h"
#include "records/ScheduleEntry.h"

// True when the last pass made every used entry whole.
bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report);
// The entries still in the schedule, each with the first thing the last pass could not write of
// it: "label: why".
std::vector<std::string> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                     const BackupReport& report);
// The name of the folder that holds a slot's entry in the image.
std::string ImageEntryName(const ScheduleEntry& e, int dateType);
