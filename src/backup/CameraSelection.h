#pragma once
// The day, time range and camera choice the operator builds an entry from: which cameras have
// recordings, the sixteen boxes of the current page, and the selection flags.
#include <string>

#include "backup/BackupContext.h"

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
// Makes day (YYYYMMDD) the chosen day and loads its recorded minutes: the hours with recordings
// go into both hour combos, the cameras into the boxes. False when the recorder has no map of
// that day.
bool SelectBackupDay(BackupContext& ctx, const std::string& day);
// The same for a day as the preview's day list shows it, in the date type's form.
bool SelectBackupDayLabel(BackupContext& ctx, const std::string& label);
// Empties the four time combos; no hour's minutes are listed any more.
void ClearTimeCombos(BackupContext& ctx);
// A new start (end) hour: its recorded minutes into the minute combo, then the cameras of the
// range by whole hours. Choosing the same hour again changes nothing.
void OnSelchangeStartHour(BackupContext& ctx);
void OnSelchangeEndHour(BackupContext& ctx);
// A new start or end minute: the cameras of the range by its minutes.
void OnSelchangeMinute(BackupContext& ctx);
// The last camera page for a camera count (24 and 32: 1, 48: 2, 64: 3, any other count: 0).
int LastCameraPage(int camCount);
// A click on a camera box (1019-1034) toggles that camera of the current page.
void OnCameraBox(BackupContext& ctx, int id);
// "<" and ">": one camera page back or on; the 24-camera recorder hides the boxes past 24.
void OnPrevPage(BackupContext& ctx);
void OnNextPage(BackupContext& ctx);
