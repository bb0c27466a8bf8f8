#pragma once
// Which of the dialog's commands the operator may use: mode 0 while a backup is made, 1 idle,
// 2 while a disc is busy (erasing). Runs on either thread, through the view.
#include "backup/BackupContext.h"

enum class ControlsMode : int { kBusy = 0, kIdle = 1, kDiscBusy = 2 };

void SetControlsState(BackupContext& ctx, ControlsMode mode);
