#pragma once
// What an image carries beside the minutes: the entry information file, the viewer copy with
// its settings file, and the entry folders of an image filled from elsewhere.
#include <string>

#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/RunState.h"
#include "records/BackupInfo.h"

// Where one schedule entry goes in the image, as the extraction and the package form it.
struct EntryImagePaths {
    std::string imageRoot;  // "" when there is no target
    std::string entry;      // entry string, the entry's folder name
    std::string day;        // YYYYMMDD
    int startHour = 0, startMinute = 0, endHour = 0, endMinute = 0;
};

// Image root by target type (the disc image folder is created), entry string and range of the
// entry with these keys.
EntryImagePaths MakeEntryImagePaths(const backup::PassPlan& plan, const std::string& startKey,
                                    const std::string& endKey);
// Creates the entry folder, its day folder and its Audio folder (an existing one is used).
// Answers why not, and makes nothing more, when one would lead outside the image's root or
// into the recordings or the working folder; creation errors are otherwise passed over.
std::string CreateEntryFolders(const backup::HostSettings& host, const EntryImagePaths& p);

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
// "" when "Viewer.lst" of the base folder names the viewer's files and each of them is there;
// else what is missing, so that a backup with the viewer can be refused before it starts.
std::string ViewerFilesProblem(const backup::HostSettings& host);
// Copies every file "Viewer.lst" names into the viewer folder of the target; a file that cannot
// be copied is named in the backup report and the rest are still copied.
void CopyViewerFiles(backup::PassJob& job);
// Plain copy in 4096-byte chunks; false when either file cannot be opened or a write fails.
bool CopyFileSimple(const std::string& source, const std::string& destination);
// Creates an entry's folders in the image without filling them. False, with the entry failed in
// the report, when a folder on the way may not be written (a link leading out of the target).
bool PrepareEntryFolders(backup::PassJob& job, int slot, const std::string& startKey,
                         const std::string& endKey);
// Enables and unticks "Include backup viewer" and clears the viewer choice.
void ResetViewerOption(backup::IOperatorEvents& view, backup::RunState& run);
