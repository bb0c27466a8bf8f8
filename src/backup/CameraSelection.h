#pragma once
// The day, time range and camera choice the operator builds an entry from: which cameras have
// recordings, the sixteen boxes of the current page, and the selection flags.
#include <string>

#include "backup/BackupContext.h"

// Page 0, boxes from m_bCamExist, no camera selected, memo and m_schedule.entryInfo cleared, Delete
// and Update disabled.
void ResetCameraSelection(BackupContext& ctx);
// As the first steps of ResetCameraSelection, then counts m_nExistCamCount.
void ShowDayCameras(BackupContext& ctx);
// Recomputes m_bCamExist for the range (by whole hours, or by the exact minutes), then
// ResetCameraSelection.
void UpdateCameraExist(BackupContext& ctx, const backup::TimeFields& range, bool byHours);
// A range chosen by a command rather than in the time fields ("08", "30", ...): shown, then the
// cameras of that range by their minutes, as a change of the end minute does.
void SetTimeRange(BackupContext& ctx, const backup::TimeFields& range);
// Selects every camera that has recordings in the range.
void OnSelectAllCameras(BackupContext& ctx);
// Makes day (YYYYMMDD) the chosen day and loads its recorded minutes: the hours with recordings
// go into both hour combos, the cameras into the boxes. False when the recorder has no map of
// that day.
bool SelectBackupDay(BackupContext& ctx, const std::string& day);
// The same for a day as the preview's day list shows it, in the date type's form.
bool SelectBackupDayLabel(BackupContext& ctx, const std::string& label);
// The hours of the day with recordings, as the rows of both hour fields.
void ShowRecordedHours(BackupContext& ctx);
// No rows in the four time fields.
void ClearTimeRows(BackupContext& ctx);
// Empties the four time fields; no hour's minutes are listed any more.
void ClearTimeCombos(BackupContext& ctx);
// A new start (end) hour in range: its recorded minutes into the minute field, then the cameras
// of the range by whole hours. Choosing the same hour again changes nothing.
void OnSelchangeStartHour(BackupContext& ctx, const backup::TimeFields& range);
void OnSelchangeEndHour(BackupContext& ctx, const backup::TimeFields& range);
// A new start or end minute in range: the cameras of the range by its minutes.
void OnSelchangeMinute(BackupContext& ctx, const backup::TimeFields& range);
// The last camera page for a camera count (24 and 32: 1, 48: 2, 64: 3, any other count: 0).
int LastCameraPage(int camCount);
// A click on box 0-15 of the page toggles that camera of the current page.
void OnCameraBox(BackupContext& ctx, int box);
// While busy: every box of the page unchecked and disabled.
void DisableCameraBoxes(BackupContext& ctx);
// The picked entry's cameras on the first page: checked (and enabled), the others unchecked.
void ShowEntryCameras(BackupContext& ctx);
// At the start: every box disabled, and hidden past the camera count.
void ResetCameraBoxes(BackupContext& ctx);
// "<" and ">": one camera page back or on; the 24-camera recorder hides the boxes past 24.
void OnPrevPage(BackupContext& ctx);
void OnNextPage(BackupContext& ctx);
