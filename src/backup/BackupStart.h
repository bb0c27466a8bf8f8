#pragma once
// Choosing the storage target and starting or stopping a backup: the checks the OK command
// makes before the worker is woken, the free-space tests, the writer drive and its speeds, and
// the close with its notice to the host.
#include <string>
#include <vector>

#include "backup/BackupContext.h"
#include "backup/PassBusy.h"

class BackupWorker;

// No such drive, a CD/DVD drive, or any other drive (a folder target).
// The drive number goes into target.drive.
backup::TargetKind ClassifyTargetDrive(backup::TargetChoice& target, char driveLetter);
// The write speeds from the writer's maximum in KB/s: "16 x", "12 x", ... down by four steps to
// 8 x, then halving; "MAX" with 0 when the maximum is below one step.
std::vector<backup::WriteSpeedItem> WriteSpeedItems(long maxSpeed, long mediaType);
// True when the volume of path has more free MB than the schedule needs (KB up to 1024 KB).
bool HasFolderSpace(DWORD totalKB, const std::string& path);
// The same against the free megabytes of the disc in the writer.
bool HasDiscSpace(CDVDWriterPro2* writer, DWORD totalKB);
// The checks of the OK command, in its order: each refusal is shown and answers its key; ""
// when a backup may start. Changes nothing; a folder target that does not exist must be one
// that can be made.
backup::CommandResult CheckBackupStart(backup::PassBusy busy, const backup::HostSettings& host,
                                       const backup::ScheduleState& schedule,
                                       const backup::TargetChoice& target,
                                       backup::OperatorPrompts& prompts);
// What the operator chose for one pass beside the schedule and the target.
struct StartOptions {
    bool includeViewer = false;
    int writeSpeedRow = -1;  // the row of the write speeds; -1 leaves the writer its own speed
};
// The OK command: checks, then a missing target folder made, busy controls, the viewer
// option, then wakes the worker.
backup::CommandResult OnOK(BackupContext& ctx, BackupWorker& worker,
                           const StartOptions& options = StartOptions());
// Cancel while a backup runs: asks the operator, and on Yes the worker stops at its next check
// (a remote download is cancelled too).
bool CancelRunningBackup(backup::RunState& run, const backup::HostSettings& host,
                         backup::LinkState& link, backup::OperatorPrompts& prompts);

enum class CancelOutcome { kStaysOpen, kClose };
// The Cancel command: stops a disc write or a backup after the operator's Yes, or, idle, closes
// the dialog (in local mode after the notice to the host).
CancelOutcome OnCancel(backup::DiscState& disc, backup::RunState& run,
                       const backup::HostSettings& host, backup::LinkState& link,
                       backup::OperatorPrompts& prompts);
// Message 0x2B21 (2, 1) to the window titled "DVR MAIN", else "NVR MAIN"; false when neither
// is there.
bool NotifyHostClosing();
// The History command's checks; the target's drive ("E:", ":" with no target), or "" when refused.
std::string OnHistory(backup::PassBusy busy, const backup::TargetChoice& target,
                      backup::OperatorPrompts& prompts);
// A folder name of the target's root as the backup data list shows it in the date type.
std::string BackupDataLabel(const std::string& folderName, int dateType);
