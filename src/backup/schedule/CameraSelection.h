#pragma once
// The day, time range and camera choice the operator builds an entry from: which cameras have
// recordings, the sixteen cameras of the current page, and the selection flags. It works on the
// day selection and the camera page; of the schedule it only forgets the picked entry's record
// when the selection starts over.
#include <functional>
#include <string>
#include <vector>

#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"

// The last camera page for a camera count (24 and 32: 1, 48: 2, 64: 3, any other count: 0).
int LastCameraPage(int camCount);

namespace backup {

// Why a camera cannot be chosen for an entry: beyond the recorder's camera count, or without
// recordings in the range while others have some (it could not be selected).
struct CameraRefusal {
    enum class Kind { kNone, kBeyondCount, kNoRecordings } kind = Kind::kNone;
    int camera = 0;  // from 1
    bool refused() const { return kind != Kind::kNone; }
};

class DayChooser {
  public:
    // askIndex asks a remote recorder for a day's index (the answer fills the day later).
    DayChooser(const HostSettings& host, DaySelection& day, CameraPage& page,
               ScheduleState& schedule, IOperatorEvents& view,
               std::function<void(const std::string& day)> askIndex)
        : host_(host),
          day_(day),
          page_(page),
          schedule_(schedule),
          view_(view),
          askIndex_(std::move(askIndex)) {}
    DayChooser(const DayChooser&) = delete;
    DayChooser& operator=(const DayChooser&) = delete;

    // Page 0, cameras from camExist, none selected, memo and the entry record cleared, no entry
    // picked.
    void ResetCameraSelection();
    // As the first steps of ResetCameraSelection, then counts existCamCount.
    void TellDayCameras();
    // Recomputes camExist for the range (by whole hours, or by the exact minutes), then
    // ResetCameraSelection.
    void UpdateCameraExist(const TimeFields& range, bool byHours);
    // A range chosen by a command rather than in the time fields ("08", "30", ...): shown, then
    // the cameras of that range by their minutes, as a change of the end minute does.
    void SetTimeRange(const TimeFields& range);
    // Selects every camera that has recordings in the range.
    void OnSelectAllCameras();
    // Selects exactly these cameras (numbered from 1) for the range chosen, as an operator may
    // select them one by one; the first that cannot be chosen is refused, the selection left as it
    // was.
    CameraRefusal SelectCameras(const std::vector<int>& cameras);
    // Makes day (YYYYMMDD) the chosen day and loads its recorded minutes: the hours with
    // recordings are offered in both hour fields, with the day's cameras. False when the recorder
    // has no map of that day.
    bool SelectBackupDay(const std::string& day);
    // The same for a day as the preview's day list shows it, in the date type's form.
    bool SelectBackupDayLabel(const std::string& label);
    // The hours of the day with recordings, as the rows of both hour fields.
    void TellRecordedHours();
    // No rows in the four time fields.
    void ClearTimeRows();
    // Empties the four time fields; no hour's minutes are listed any more.
    void ClearTimeCombos();
    // A new start (end) hour in range: its recorded minutes into the minute field, then the
    // cameras of the range by whole hours. Choosing the same hour again changes nothing.
    void OnSelchangeStartHour(const TimeFields& range);
    void OnSelchangeEndHour(const TimeFields& range);
    // A new start or end minute in range: the cameras of the range by its minutes.
    void OnSelchangeMinute(const TimeFields& range);
    // Camera 0-15 of the current page toggled.
    void OnCameraBox(int box);
    // While busy: no camera of the page selected or selectable.
    void HoldCameras();
    // The picked entry's cameras on the first page: selected (and selectable), the others not.
    void TellEntryCameras();
    // At the start: no camera selectable, and none present past the camera count.
    void ResetPageCameras();
    // At the start: empty time fields, pages by the camera count, no selection, no list rows,
    // the cameras as ResetPageCameras leaves them, no memo to update, no select-all.
    void ResetChoices();
    // Which commands the operator may use: the cameras for the activity (the day's when
    // idle, none otherwise), then the activity with the facts that decide the rest.
    void SetActivity(Activity activity, bool discTarget);
    // "<" and ">": one camera page back or on; the 24-camera recorder has none past 24.
    void OnPrevPage();
    void OnNextPage();

  private:
    void TellPage();
    PageCamera& Camera(int i);
    void TellPageCameras();
    void ListHourMinutes(TimeFields range, TimeField minuteField, DWORD* tmp, int& lastHour);
    void TellFirstPageCameras();

    const HostSettings& host_;
    DaySelection& day_;
    CameraPage& page_;
    ScheduleState& schedule_;
    IOperatorEvents& view_;
    std::function<void(const std::string& day)> askIndex_;
};

}  // namespace backup
