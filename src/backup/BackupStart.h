#pragma once
// Choosing the storage target and starting or stopping a backup: the checks the OK command
// makes before the worker is woken, and the free-space test.
#include <string>

#include "backup/BackupContext.h"

class BackupWorker;

// 0 no such drive, 2 a CD/DVD drive, 3 any other drive (a folder target).
int ClassifyTargetDrive(BackupContext& ctx, char driveLetter);
// The target chosen in the folder browser (a drive path): kind by its drive, the target text,
// the viewer option. Answers the key it refused with, "" when the target was taken.
std::string ChooseStorageTarget(BackupContext& ctx, const std::string& folder);
// True when the volume of path has more free MB than the schedule needs (KB up to 1024 KB).
bool HasFolderSpace(const BackupContext& ctx, const std::string& path);
// The checks of the OK command, in its order: each refusal is shown and answers its key; ""
// when a backup may start. Changes nothing.
std::string CheckBackupStart(BackupContext& ctx);
// The OK command: checks, busy controls, the viewer option, then wakes the worker.
std::string OnOK(BackupContext& ctx, BackupWorker& worker);
// Cancel while a backup runs: asks the operator, and on Yes the worker stops at its next check.
bool CancelRunningBackup(BackupContext& ctx);
