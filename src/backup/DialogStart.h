#pragma once
// The parts of the main dialog's start that are rules rather than windows: the start values of
// the host context, the reset of what the operator sees, and the saved schedule back into the list.
#include "app/CQuillonApp.h"
#include "backup/BackupContext.h"

// The values a dialog starts with before any host record: a local recorder with 64 cameras,
// model 0x670, kind 4, date type 0, the launch string's address and port, the drives present.
void SetStartValues(BackupContext& ctx, CQuillonApp& app);
// Empty time fields, page buttons by the camera count, no selection, no list rows, the boxes
// disabled (and hidden past the camera count), Update and select-all disabled.
void ResetControls(BackupContext& ctx);
// The schedule table cleared, then reserve.dat restored into it and the list.
void RestoreSchedule(BackupContext& ctx);
