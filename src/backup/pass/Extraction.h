#pragma once
// One local schedule entry into the image: its folders, the minutes of its range (whole for an
// all-camera entry, rebuilt for the entry's cameras otherwise), their audio, and the entry's
// information and minute map files. Runs on the worker thread; both always answer 1.
#include <string>

#include "backup/pass/BackupPackage.h"
#include "backup/pass/PassJob.h"

int AllCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                      const std::string& endKey);
int SelectCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                         const std::string& endKey);

// The entry's cameras as MP4 files beside its minutes, hashed into the image like them (through
// the write tap of the calling thread). False when the pass was stopped meanwhile.
bool MakeEntryVideo(backup::PassJob& job, const ScheduleEntry& e, const EntryImagePaths& p);
