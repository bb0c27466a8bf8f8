#pragma once
// What an image carries beside the minutes: the entry information file and the viewer copy with
// its settings file.
#include <string>
#include <vector>

#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/RunState.h"
#include "platform/Error.h"
#include "records/BackupInfo.h"

// Where one schedule entry goes in the image, as the extraction and the package form it.
struct EntryImagePaths {
    std::string imageRoot;  // "" when there is no target
    std::string entry;      // entry string, the entry's folder name
    std::string day;        // YYYYMMDD
    int startHour = 0, startMinute = 0, endHour = 0, endMinute = 0;
};

enum EntryInfoMode { kEntryInfoWrite = 0, kEntryInfoRead = 1, kEntryInfoUpdate = 2 };
// Reads or writes "BackupInfo.dat" in the entry folder: 0 fills record from the range key
// (YYYYMMDDhhmmHHMM) and the host's settings and writes it, 1 clears and reads it, 2 writes it
// unchanged and clears it. True when the file opened (and was written or read whole).
bool AccessEntryInfo(const backup::HostSettings& host, BackupInfoRecord& record,
                     const std::string& entryFolder, const std::string& rangeKey, int mode);
// Mode 0 of the above for a host's values: record filled from the range key and written.
bool WriteNewEntryInfo(const backup::HostSettings& host, const std::string& entryFolder,
                       const std::string& rangeKey, BackupInfoRecord& record);

// Writes "Viewer.ini" (the language) into the viewer folder of the disc image.
bool WriteViewerIni(backup::PassJob& job);
// Whether "Viewer.lst" of the base folder names the viewer's files and each of them is there
// (not found: the list or a file is missing; damaged: the list names none), so that a backup with
// the viewer can be refused before it starts.
platform::Outcome CheckViewerFiles(const backup::HostSettings& host);
// Copies every file "Viewer.lst" names into the viewer folder of the target; a file that cannot
// be copied is named in the backup report and the rest are still copied.
void CopyViewerFiles(backup::PassJob& job);
// The same into folder (ending in a separator) for the host's base folder, the folder made when
// missing: each file written under a temporary name and renamed, over what was there, when
// whole. What could not be copied, one text each; none when all was.
std::vector<std::string> CopyViewerInto(const backup::HostSettings& host,
                                        const std::string& folder);
// Plain copy in 4096-byte chunks; false when either file cannot be opened or a write fails.
bool CopyFileSimple(const std::string& source, const std::string& destination);
// Enables and unticks "Include backup viewer" and clears the viewer choice.
void ResetViewerOption(backup::IOperatorEvents& view, backup::RunState& run);
