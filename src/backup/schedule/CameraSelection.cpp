#include "backup/schedule/CameraSelection.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/CConvertDateType.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleCommands.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

using paths::Two;

int LastCameraPage(int camCount) {
    switch (camCount) {
        case 24:
        case 32:
            return 1;
        case 48:
            return 2;
        case 64:
            return 3;
        default:
            return 0;
    }
}

namespace backup {

// The page as the model holds it, with its number, to the view.
void DayChooser::TellPage() {
    page_.number =
        std::to_string(day_.camPage + 1) + "/" + std::to_string(LastCameraPage(host_.camCount) + 1);
    view_.CameraPageChanged(page_);
}

PageCamera& DayChooser::Camera(int i) {
    return page_.cameras[static_cast<std::size_t>(i)];
}

// The sixteen cameras of the current page: names, and the selection of cameras that have
// recordings in the range.
void DayChooser::TellPageCameras() {
    for (int i = 0; i < 16; ++i) {
        const int c = day_.camPage * 16 + i;
        PageCamera& box = Camera(i);
        box.name = Two(c + 1);
        box.selectable = day_.camExist[c] != 0;
        box.selected = day_.camExist[c] && day_.camSel[c];
    }
    TellPage();
}

// The minutes of hour that have recordings of a camera below the camera count, into the minute
// field and the flags; the shared work of the start and end hour fields.
void DayChooser::ListHourMinutes(TimeFields range, TimeField minuteField, DWORD* tmp,
                                 int& lastHour) {
    const std::string& text =
        minuteField == TimeField::kStartMinute ? range.startHour : range.endHour;
    const int hour = std::atoi(text.c_str());
    if (text.empty() || hour < 0 || hour > 23 || hour == lastHour)
        return;
    ResetCameraSelection();
    const int cams = host_.camCount < kMaxCameras ? host_.camCount : kMaxCameras;
    for (int m = 0; m < 60; ++m)
        for (int c = 0; c < cams; ++c)
            if (day_.recMap[static_cast<std::size_t>(c) * 1440 + hour * 60 + m]) {
                tmp[m] = 1;
                day_.minuteHasRec[hour * 60 + m] = 1;
            }
    std::vector<std::string> minutes;
    for (int m = 0; m < 60; ++m)
        if (day_.minuteHasRec[hour * 60 + m])
            minutes.push_back(Two(m));
    view_.TimeRowsChanged(minuteField, minutes);
    // New rows leave no minute chosen.
    (minuteField == TimeField::kStartMinute ? range.startMinute : range.endMinute).clear();
    lastHour = hour;
    UpdateCameraExist(range, true);
}

void DayChooser::TellFirstPageCameras() {
    day_.camPage = 0;
    for (int i = 0; i < 16; ++i) {
        PageCamera& box = Camera(i);
        box.name = Two(i + 1);
        box.present = true;
        box.selected = false;
        box.selectable = day_.camExist[i] != 0;
    }
    TellPage();
}

void DayChooser::ResetCameraSelection() {
    TellFirstPageCameras();
    std::memset(day_.camSel, 0, sizeof day_.camSel);
    view_.MemoChanged("");
    std::memset(&schedule_.entryInfo, 0, sizeof schedule_.entryInfo);
    schedule_.entryInfoRead = 0;
    view_.EntryPicked(false);
}

void DayChooser::TellDayCameras() {
    TellFirstPageCameras();
    day_.existCamCount = 0;
    bool pageZero = false;
    for (int c = 0; c < kMaxCameras; ++c)
        if (day_.camExist[c]) {
            ++day_.existCamCount;
            pageZero = pageZero || c < 16;
        }
    std::memset(day_.camSel, 0, sizeof day_.camSel);
    if (pageZero)
        view_.SelectAllPossible(true);
}

void DayChooser::UpdateCameraExist(const TimeFields& range, bool byHours) {
    const std::string& shText = range.startHour;
    const std::string& smText = range.startMinute;
    const std::string& ehText = range.endHour;
    const std::string& emText = range.endMinute;
    const int cams = host_.camCount < kMaxCameras ? host_.camCount : kMaxCameras;
    auto recorded = [&](int c, int h, int m) {
        return day_.recMap[static_cast<std::size_t>(c) * 1440 + h * 60 + m] != 0;
    };
    if (!shText.empty() && !ehText.empty()) {
        const int sh = std::atoi(shText.c_str()), eh = std::atoi(ehText.c_str());
        const int sm = std::atoi(smText.c_str()), em = std::atoi(emText.c_str());
        if (sh <= eh && sh >= 0 && eh < 24) {
            if (byHours) {
                std::memset(day_.camExist, 0, sizeof day_.camExist);
                for (int h = sh; h <= eh; ++h)
                    for (int c = 0; c < cams; ++c)
                        for (int m = 0; m < 60; ++m)
                            if (recorded(c, h, m))
                                day_.camExist[c] = 1;
            } else if (!(sh == eh && sm > em)) {
                std::memset(day_.camExist, 0, sizeof day_.camExist);
                for (int h = sh; h <= eh; ++h) {
                    const int first = h == sh ? sm : 0, last = h == eh ? em : 59;
                    for (int m = first; m <= last && m < 60; ++m)
                        for (int c = 0; c < cams; ++c)
                            if (m >= 0 && recorded(c, h, m))
                                day_.camExist[c] = 1;
                }
            }
        }
    }
    ResetCameraSelection();
}

void DayChooser::SetTimeRange(const TimeFields& range) {
    view_.TimeChosen(range);
    UpdateCameraExist(range, false);
}

void DayChooser::OnSelectAllCameras() {
    for (int c = 0; c < kMaxCameras; ++c)
        day_.camSel[c] = day_.camExist[c] ? 1 : 0;
    for (int i = 0; i < 16; ++i)
        if (day_.camSel[day_.camPage * 16 + i])
            Camera(i).selected = true;
    TellPage();
}

CameraRefusal DayChooser::SelectCameras(const std::vector<int>& cameras) {
    const bool anyInRange = std::any_of(std::begin(day_.camExist), std::end(day_.camExist),
                                        [](DWORD recorded) { return recorded != 0; });
    for (const int camera : cameras) {
        if (camera < 1 || camera > host_.camCount || camera > kMaxCameras)
            return {CameraRefusal::Kind::kBeyondCount, camera};
        if (anyInRange && !day_.camExist[camera - 1])
            return {CameraRefusal::Kind::kNoRecordings, camera};
    }
    for (int c = 0; c < kMaxCameras; ++c)
        day_.camSel[c] = 0;
    for (const int camera : cameras)
        day_.camSel[camera - 1] = 1;
    for (int i = 0; i < 16; ++i)
        Camera(i).selected = day_.camSel[day_.camPage * 16 + i] != 0;
    TellPage();
    return {};
}

bool DayChooser::SelectBackupDay(const std::string& day) {
    day_.date = day;
    ResetCameraSelection();
    std::memset(day_.hourHasRec, 0, sizeof day_.hourHasRec);
    std::memset(day_.minuteHasRec, 0, sizeof day_.minuteHasRec);
    std::memset(day_.camExist, 0, sizeof day_.camExist);
    if (!host_.localMode) {
        // The hours shown are the last day's, whose flags are gone: until the answer fills
        // them, no time can be chosen and no Add can ask for a range the day may not have.
        ClearTimeCombos();
        askIndex_(day);
        return true;
    }
    const bool found = ScanRecordedDay(host_, day_, day);
    ClearTimeCombos();
    if (found)
        TellRecordedHours();
    TellDayCameras();
    schedule_.pickedRow = -1;
    view_.ScheduleRowPicked(-1);
    return found;
}

bool DayChooser::SelectBackupDayLabel(const std::string& label) {
    const std::string day =
        CConvertDateType().DisplayToDate(label, static_cast<unsigned>(host_.dateType));
    return SelectBackupDay(day);
}

void DayChooser::TellRecordedHours() {
    std::vector<std::string> hours;
    for (int h = 0; h < 24; ++h)
        if (day_.hourHasRec[h])
            hours.push_back(Two(h));
    view_.TimeRowsChanged(TimeField::kStartHour, hours);
    view_.TimeRowsChanged(TimeField::kEndHour, hours);
}

void DayChooser::ClearTimeRows() {
    for (auto field : {TimeField::kStartHour, TimeField::kStartMinute, TimeField::kEndHour,
                       TimeField::kEndMinute})
        view_.TimeRowsChanged(field, {});
}

void DayChooser::ClearTimeCombos() {
    ClearTimeRows();
    day_.lastStartHour = day_.lastEndHour = -1;
}

void DayChooser::OnSelchangeStartHour(const TimeFields& range) {
    ListHourMinutes(range, TimeField::kStartMinute, day_.startHourMinutes, day_.lastStartHour);
}

void DayChooser::OnSelchangeEndHour(const TimeFields& range) {
    ListHourMinutes(range, TimeField::kEndMinute, day_.endHourMinutes, day_.lastEndHour);
}

void DayChooser::OnSelchangeMinute(const TimeFields& range) {
    UpdateCameraExist(range, false);
}

void DayChooser::OnCameraBox(int box) {
    const int c = day_.camPage * 16 + box;
    if (box < 0 || box >= 16 || c >= kMaxCameras)
        return;
    day_.camSel[c] = day_.camSel[c] ? 0 : 1;
    // The front end shows the toggle already; the page keeps it.
    Camera(box).selected = day_.camSel[c] != 0;
}

void DayChooser::HoldCameras() {
    for (int i = 0; i < 16; ++i) {
        Camera(i).selected = false;
        Camera(i).selectable = false;
    }
    TellPage();
}

void DayChooser::TellEntryCameras() {
    for (int i = 0; i < 16; ++i) {
        if (day_.camSel[i])
            Camera(i).selectable = true;
        Camera(i).selected = day_.camSel[i] != 0;
    }
    TellPage();
}

void DayChooser::ResetPageCameras() {
    for (int i = 0; i < 16; ++i) {
        Camera(i).selectable = false;
        if (i >= host_.camCount)
            Camera(i).present = false;
    }
    TellPage();
}

void DayChooser::OnPrevPage() {
    if (day_.camPage == 0)
        return;
    --day_.camPage;
    if (host_.camCount == 24 && day_.camPage == 0)
        for (int i = 0; i < 16; ++i)
            Camera(i).present = true;
    TellPageCameras();
}

void DayChooser::OnNextPage() {
    const int last = LastCameraPage(host_.camCount);
    if (day_.camPage >= last)
        return;
    ++day_.camPage;
    if (host_.camCount == 24 && last == 1)
        for (int i = 0; i < 16; ++i)
            if (day_.camPage * 16 + i >= 24)
                Camera(i).present = false;
    TellPageCameras();
}

void DayChooser::ResetChoices() {
    ClearTimeRows();
    view_.PagesPossible(host_.camCount > 16);
    view_.SelectAllPossible(false);
    schedule_.rows.clear();
    view_.ScheduleListChanged(schedule_.rows);
    view_.MemoEditable(false);
    ResetPageCameras();
    std::memset(day_.camSel, 0, sizeof day_.camSel);
}

void DayChooser::SetActivity(Activity activity, bool discTarget) {
    if (activity == Activity::kIdle)
        TellDayCameras();
    else
        HoldCameras();
    ActivityFacts facts;
    facts.entryPicked = schedule_.entryPicked != 0;
    facts.discTarget = discTarget;
    facts.pages = host_.camCount > 16;
    view_.ActivityChanged(activity, facts);
}

}  // namespace backup
