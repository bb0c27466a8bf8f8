#pragma once
// The dialog's side of the working folder: the schedule table and the minute maps in and out of
// the dialog's members, and the recorded minutes of the chosen day.
#include <string>

#include "backup/HostSettings.h"
#include "backup/OperatorPrompts.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"

// Creates "%s\%s\%s" of parent, entry and day and writes "%s\%s.DAT" of it from the
// selection's map of the entry.
bool SaveMinuteMap(const backup::DaySelection& sel, const std::string& parent,
                   const std::string& entry, const std::string& day);
// Creates the working folder and writes reserve.dat; false when it cannot.
bool SaveScheduleTable(const backup::HostSettings& host, const backup::ScheduleState& schedule);
// Reads reserve.dat into the table; false when there is none. A damaged file is not loaded: the
// operator is told, and the file is kept beside as reserve.dat.damaged.
bool LoadScheduleTable(const backup::HostSettings& host, backup::ScheduleState& schedule,
                       backup::OperatorPrompts& prompts);
// Removes reserve.dat (the saved schedule is then empty); false when it is still there.
bool RemoveScheduleFile(const backup::HostSettings& host);
// Empties the schedule table, zeroes the total and deletes the working folder, reserve.dat
// first, so that a run killed halfway leaves no schedule naming folders that are gone.
void ClearReservedFolder(const backup::HostSettings& host, backup::ScheduleState& schedule);
// Loads the day map "%s\%s.dat" of folder and day into the selection's map of the day and the
// hour, minute and camera flags (only set, never cleared here).
bool LoadDayMinuteMap(backup::DaySelection& sel, const std::string& folder, const std::string& day);
// Clears the selection's map of the day and loads the day's map from the host's recordings.
bool ScanRecordedDay(const backup::HostSettings& host, backup::DaySelection& sel,
                     const std::string& day);
