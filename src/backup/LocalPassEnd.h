#pragma once
// What the end of a local pass does on the context's thread: the schedule after a folder pass,
// the image handed to the disc writer after a disc pass, and the box that tells the operator.
#include <string>

#include "backup/BackupContext.h"

// The end of a local pass on the context's thread: a folder pass cleans up, a disc pass hands
// its image over to the writer.
void EndLocalPass(BackupContext& ctx);
// The clean-up of a finished folder backup: not running, controls idle, the working folder,
// the list, the total, the entry record and the selection cleared.
void ClearFinishedSchedule(BackupContext& ctx);
// The end of a folder backup: the entries it made whole leave the schedule and the working
// folder (all of them, with the total and the selection, when every entry was made whole), the
// viewer option is cleared and the dialog is sent code 100.
void FinishFolderBackup(BackupContext& ctx);

// What the window tells the operator once a pass has ended: "" when it completed (the window
// then says so in its own words), else that it stopped or which files were not copied, and which
// entries stay in the schedule with the first thing each lacks, so that an incomplete backup is
// never reported as complete.
std::string PassOutcomeText(const backup::OperatorPrompts& prompts, const BackupReport& report,
                            const backup::ScheduleState& schedule, int dateType);
// The box that ends a local folder pass, once the front end has drawn the end (PassEnded): the
// outcome, or that the backup is complete, with the key that signed its manifest.
void ShowPassOutcome(backup::IOperatorView& view, backup::OperatorPrompts& prompts,
                     const backup::RunState& run, const backup::ScheduleState& schedule,
                     int dateType);
