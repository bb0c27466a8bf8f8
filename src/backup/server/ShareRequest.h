#pragma once
// The requests a client sends the recorder's server, checked before anything is read or built:
// a day, a time and a schedule slot are the digits and numbers they stand for, an entry lies
// within one day, and the cameras are within what the recorder has.
#include <string>

#include "backup/HostSettings.h"
#include "backup/schedule/DaySelection.h"
#include "records/RemoteRecords.h"
#include "records/ScheduleEntry.h"

// Why an image request is refused when it names no entry of one day.
extern const char* const kNotAnEntryOfOneDay;

// The recorder the server serves, as a host would describe it: no more cameras than a recorder
// has.
backup::HostSettings ServedHost(const std::string& storageRoot, int cameras, int modelCode);
// day: 8 digits YYYYMMDD.
bool IsRequestedDay(const std::string& day);
// The day and its start and end time are digits: a request that is not names nothing to back up.
bool SizeRequestWellFormed(const _BACKUPADDTOTALSIZE& request);
// The recorder host of a size request: its camera count as the client gives it, within what a
// recorder has.
backup::HostSettings SizeRequestHost(backup::HostSettings served,
                                     const _BACKUPADDTOTALSIZE& request);
// The hours, minutes and cameras a size request selects.
backup::DaySelection SizeRequestSelection(const _BACKUPADDTOTALSIZE& request);
// Why the image request names no entry: a slot out of the schedule, a start or end that is not
// 12 digits, or a range that is not within one day. "" when it names one.
std::string ImageRequestProblem(const _BACKUPMAKEIMAGE& request);
// The request's date type (how the image's folder names the day), within those there are.
int RequestedDateType(const _BACKUPMAKEIMAGE& request);
// The selection of an entry's cameras: every camera of the recorder for an all-camera entry.
backup::DaySelection EntryCameras(const backup::HostSettings& host, const ScheduleEntry& entry);
