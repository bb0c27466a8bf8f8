#pragma once
// The size estimate of a new entry and the total a front end shows, over the storage estimate.
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"
#include "storage/SizeEstimate.h"

// The cameras of the selection below the host's camera count.
CameraSet SelectedCameras(const backup::HostSettings& host, const backup::DaySelection& sel);
// The estimate of an entry of day from start to end ("hhmm") for the selection's cameras, from
// the host's recordings; kb 0 when the range holds nothing.
storage::EstimateTotals EstimateEntry(const backup::HostSettings& host,
                                      const backup::DaySelection& sel, const std::string& day,
                                      const std::string& start, const std::string& end);

// True when an estimate was made (the schedule's last entry size and total, and the selection's
// camera count updated), false when the range holds nothing. start and end are "hhmm".
bool EstimateEntrySize(const backup::HostSettings& host, backup::DaySelection& sel,
                       backup::ScheduleState& schedule, const std::string& day,
                       const std::string& start, const std::string& end);
// "Total %.01f KByte" up to 1024 KB, "Total %.01f MByte" above, or the language file's formats.
std::string FormatTotalSize(const CProfileReadWrite& profile, DWORD totalKB);
void TellTotalSize(const CProfileReadWrite& profile, const backup::ScheduleState& schedule,
                   backup::IOperatorEvents& view);
