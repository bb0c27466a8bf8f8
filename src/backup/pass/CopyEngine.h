#pragma once
// The file copy under the extraction and the package: a wildcard copy into a folder with the
// status line and size accounting, and the single-file copy beneath it. A file takes its name in
// the image only when it is whole.
#include <string>
#include <vector>

#include "backup/pass/PassJob.h"
#include "platform/FileSystem.h"

// Copies every file that path (a file path or a wildcard) matches into folder under its own
// name, in search order, counting each into the job's done size before it is copied. 0 when nothing
// matches or the folder cannot be made (the operator is told), else 1, also when a copy failed
// and ended the loop early. Runs on the worker thread.
bool CopyFilesToFolder(backup::PassJob& job, const std::string& path, const std::string& folder);
// The same for files already looked up (in search order).
bool CopyFoundFilesToFolder(backup::PassJob& job, const std::vector<platform::FindData>& found,
                            const std::string& folder);

// Copies source to destination by the fastest means the system has for the pair. 0 when the
// source cannot be opened, the destination cannot be made, or a read or write fails; nothing is
// then left under the destination's name, and the failure is entered in the backup report.
bool CopyFileOverlapped(backup::PassJob& job, const std::string& source,
                        const std::string& destination);

// True (the pass stopped, the report saying so once) when the target is gone, read-only or
// no longer on its volume; what says what was being written, if anything. Before a write only
// the folder and its volume are looked at; after a failed one, everything.
bool TargetLost(backup::PassJob& job, const std::string& what = std::string(),
                bool afterFailure = false);
// A write of destination into the image failed with error. A target that is full, gone,
// read-only or taken away, or an image folder gone from under the pass, can take nothing more:
// the pass stops and the report says so once. Any other failure is the file's.
void DestinationFailed(backup::PassJob& job, const std::string& what, DWORD error,
                       const std::string& destination);
