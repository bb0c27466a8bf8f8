#pragma once
// The day, time range and camera choice the operator builds an entry from: which cameras have
// recordings, the sixteen boxes of the current page, and the selection flags.
#include <string>

#include "backup/BackupContext.h"

namespace ctl {
constexpr int kStartHour = 1013;
constexpr int kStartMinute = 1014;
constexpr int kEndHour = 1015;
constexpr int kEndMinute = 1016;
}  // namespace ctl

// Page 0, boxes from m_bCamExist, no camera selected, memo and m_EntryInfo cleared, Delete and
// Update disabled.
void ResetCameraSelection(BackupContext& ctx);
// As the first steps of ResetCameraSelection, then counts m_nExistCamCount.
void ShowDayCameras(BackupContext& ctx);
// Recomputes m_bCamExist for the range in the four time fields (by whole hours, or by the exact
// minutes), then ResetCameraSelection.
void UpdateCameraExist(BackupContext& ctx, bool byHours);
// The four time fields as the operator leaves them ("08", "30", ...), then the cameras of that
// range by their minutes, as a change of the end minute does.
void SetTimeRange(BackupContext& ctx, const std::string& sh, const std::string& sm,
                  const std::string& eh, const std::string& em);
// Selects every camera that has recordings in the range.
void OnSelectAllCameras(BackupContext& ctx);
// Makes day (YYYYMMDD) the chosen day and loads its recorded minutes; false when the recorder
// has no map of that day.
bool SelectBackupDay(BackupContext& ctx, const std::string& day);
