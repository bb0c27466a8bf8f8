#pragma once
// Local schedule entries into the image: where each goes and its folders, the minutes of its
// range (whole for an all-camera entry, rebuilt for the entry's cameras otherwise), their audio,
// the entry's information and minute map files, and its MP4 files. Runs on the worker thread.
#include <string>

#include "backup/pass/BackupPackage.h"
#include "backup/pass/PassJob.h"
#include "storage/PictureRows.h"

// Image root by target type (the disc image folder is created), entry string and range of the
// entry with these keys.
EntryImagePaths MakeEntryImagePaths(const backup::PassPlan& plan, const std::string& startKey,
                                    const std::string& endKey);
// Creates the entry folder, its day folder and its Audio folder (an existing one is used).
// Answers why not, and makes nothing more, when one would lead outside the image's root or
// into the recordings or the working folder; creation errors are otherwise passed over.
std::string CreateEntryFolders(const backup::HostSettings& host, const EntryImagePaths& p);
// Creates an entry's folders in the image without filling them. False, with the entry failed in
// the report, when a folder on the way may not be written (a link leading out of the target).
bool PrepareEntryFolders(backup::PassJob& job, int slot, const EntryImagePaths& p);

// The viewer when the plan asks for it, then every used slot of the plan, until the pass stops.
namespace backup {
void MakeEntries(PassJob& job);
}

// One entry; both always answer 1.
int AllCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                      const std::string& endKey);
int SelectCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                         const std::string& endKey);

// The entry's cameras as MP4 files beside its minutes, hashed into the image like them (through
// the write tap of the calling thread). False when the pass was stopped meanwhile.
bool MakeEntryVideo(backup::PassJob& job, const ScheduleEntry& e, const EntryImagePaths& p);

// One minute of an entry's cameras into the image, with the status line, the done size and the
// progress bar, and what went wrong in the backup report.
// sourcePrefix and destPrefix name a minute without "N.idx" / "N.dat". Returns 1 when the
// source index held at least one row (even if none was selected), 0 when nothing was copied;
// then why, when given, says what stopped it. The cameras' index rows that address no picture
// are left out; damaged, when given, counts them camera by camera for the caller to report;
// inRecording, when given, tells whether why lies in the recording itself.
// Runs on the worker thread.
int CopyMinuteSegment(backup::PassJob& job, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why = nullptr,
                      storage::RowsOutside* damaged = nullptr, bool* inRecording = nullptr);
// The same for the cameras of entry, which need not be a slot of the schedule.
int RebuildMinute(backup::PassJob& job, const ScheduleEntry& entry, const std::string& sourcePrefix,
                  const std::string& destPrefix, std::string* why = nullptr,
                  storage::RowsOutside* damaged = nullptr, bool* inRecording = nullptr);
