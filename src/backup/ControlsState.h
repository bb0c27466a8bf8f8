#pragma once
// Which of the dialog's commands the operator may use: while a backup is made, idle, or while a
// disc is busy. Runs on either thread, through the view.
#include "backup/BackupContext.h"

// The camera boxes for the mode (the day's cameras when idle, none otherwise), then the mode
// with the facts that decide the rest.
void SetControlsState(BackupContext& ctx, ControlsMode mode);
