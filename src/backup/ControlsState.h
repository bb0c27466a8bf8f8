#pragma once
// Which of the dialog's commands the operator may use: mode 0 while a backup is made, 1 idle,
// 2 while a disc is busy (erasing). Runs on either thread, through the view.
#include "backup/BackupContext.h"

void SetControlsState(BackupContext& ctx, int mode);
