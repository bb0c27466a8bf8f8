#pragma once
// One local schedule entry into the image: its folders, the minutes of its range (whole for an
// all-camera entry, rebuilt for the entry's cameras otherwise), their audio, and the entry's
// information and minute map files. Runs on the worker thread; both always answer 1.
#include <string>

#include "backup/PassJob.h"

int AllCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                      const std::string& endKey);
int SelectCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                         const std::string& endKey);
