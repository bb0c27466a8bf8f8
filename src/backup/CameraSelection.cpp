#include "backup/CameraSelection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/CConvertDateType.h"
#include "backup/RemoteBackup.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleCommands.h"
#include "storage/WorkingFolder.h"

namespace {

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// The page as the model holds it, with its number, to the view.
void ShowPage(BackupContext& ctx) {
    ctx.m_cameraPage.number = std::to_string(ctx.m_day.camPage + 1) + "/" +
                              std::to_string(LastCameraPage(ctx.m_host.camCount) + 1);
    ctx.m_view.CameraPageChanged(ctx.m_cameraPage);
}

backup::CameraBox& Box(BackupContext& ctx, int i) {
    return ctx.m_cameraPage.boxes[static_cast<std::size_t>(i)];
}

// The sixteen boxes for the current page: captions, and the selection of cameras that have
// recordings in the range.
void ShowPageBoxes(BackupContext& ctx) {
    for (int i = 0; i < 16; ++i) {
        const int c = ctx.m_day.camPage * 16 + i;
        backup::CameraBox& box = Box(ctx, i);
        box.caption = Two(c + 1);
        box.enabled = ctx.m_day.camExist[c] != 0;
        box.checked = ctx.m_day.camExist[c] && ctx.m_day.camSel[c];
    }
    ShowPage(ctx);
}

// The minutes of hour that have recordings of a camera below the camera count, into the minute
// field and the flags; the shared work of the start and end hour fields.
void ListHourMinutes(BackupContext& ctx, backup::TimeFields range, backup::TimeField minuteField,
                     DWORD* tmp, int& lastHour) {
    const std::string& text =
        minuteField == backup::TimeField::kStartMinute ? range.startHour : range.endHour;
    const int hour = std::atoi(text.c_str());
    if (text.empty() || hour < 0 || hour > 23 || hour == lastHour)
        return;
    ResetCameraSelection(ctx);
    const int cams = ctx.m_host.camCount < kMaxCameras ? ctx.m_host.camCount : kMaxCameras;
    for (int m = 0; m < 60; ++m)
        for (int c = 0; c < cams; ++c)
            if (ctx.m_day.recMap[static_cast<std::size_t>(c) * 1440 + hour * 60 + m]) {
                tmp[m] = 1;
                ctx.m_day.minuteHasRec[hour * 60 + m] = 1;
            }
    std::vector<std::string> minutes;
    for (int m = 0; m < 60; ++m)
        if (ctx.m_day.minuteHasRec[hour * 60 + m])
            minutes.push_back(Two(m));
    ctx.m_view.TimeRowsChanged(minuteField, minutes);
    // New rows leave no minute chosen.
    (minuteField == backup::TimeField::kStartMinute ? range.startMinute : range.endMinute).clear();
    lastHour = hour;
    UpdateCameraExist(ctx, range, true);
}

void ShowPageZeroBoxes(BackupContext& ctx) {
    ctx.m_day.camPage = 0;
    for (int i = 0; i < 16; ++i) {
        backup::CameraBox& box = Box(ctx, i);
        box.caption = Two(i + 1);
        box.shown = true;
        box.checked = false;
        box.enabled = ctx.m_day.camExist[i] != 0;
    }
    ShowPage(ctx);
}

}  // namespace

void ResetCameraSelection(BackupContext& ctx) {
    ShowPageZeroBoxes(ctx);
    std::memset(ctx.m_day.camSel, 0, sizeof ctx.m_day.camSel);
    ctx.m_view.MemoChanged("");
    std::memset(&ctx.m_schedule.entryInfo, 0, sizeof ctx.m_schedule.entryInfo);
    ctx.m_schedule.entryInfoRead = 0;
    EnableEntryButtons(ctx.m_view, false);
}

void ShowDayCameras(BackupContext& ctx) {
    ShowPageZeroBoxes(ctx);
    ctx.m_day.existCamCount = 0;
    bool pageZero = false;
    for (int c = 0; c < kMaxCameras; ++c)
        if (ctx.m_day.camExist[c]) {
            ++ctx.m_day.existCamCount;
            pageZero = pageZero || c < 16;
        }
    std::memset(ctx.m_day.camSel, 0, sizeof ctx.m_day.camSel);
    if (pageZero)
        ctx.m_view.EnableSelectAll(true);
}

void UpdateCameraExist(BackupContext& ctx, const backup::TimeFields& range, bool byHours) {
    const std::string& shText = range.startHour;
    const std::string& smText = range.startMinute;
    const std::string& ehText = range.endHour;
    const std::string& emText = range.endMinute;
    const int cams = ctx.m_host.camCount < kMaxCameras ? ctx.m_host.camCount : kMaxCameras;
    auto recorded = [&](int c, int h, int m) {
        return ctx.m_day.recMap[static_cast<std::size_t>(c) * 1440 + h * 60 + m] != 0;
    };
    if (!shText.empty() && !ehText.empty()) {
        const int sh = std::atoi(shText.c_str()), eh = std::atoi(ehText.c_str());
        const int sm = std::atoi(smText.c_str()), em = std::atoi(emText.c_str());
        if (sh <= eh && sh >= 0 && eh < 24) {
            if (byHours) {
                std::memset(ctx.m_day.camExist, 0, sizeof ctx.m_day.camExist);
                for (int h = sh; h <= eh; ++h)
                    for (int c = 0; c < cams; ++c)
                        for (int m = 0; m < 60; ++m)
                            if (recorded(c, h, m))
                                ctx.m_day.camExist[c] = 1;
            } else if (!(sh == eh && sm > em)) {
                std::memset(ctx.m_day.camExist, 0, sizeof ctx.m_day.camExist);
                for (int h = sh; h <= eh; ++h) {
                    const int first = h == sh ? sm : 0, last = h == eh ? em : 59;
                    for (int m = first; m <= last && m < 60; ++m)
                        for (int c = 0; c < cams; ++c)
                            if (m >= 0 && recorded(c, h, m))
                                ctx.m_day.camExist[c] = 1;
                }
            }
        }
    }
    ResetCameraSelection(ctx);
}

void SetTimeRange(BackupContext& ctx, const backup::TimeFields& range) {
    ctx.m_view.TimeChosen(range);
    UpdateCameraExist(ctx, range, false);
}

void OnSelectAllCameras(BackupContext& ctx) {
    for (int c = 0; c < kMaxCameras; ++c)
        ctx.m_day.camSel[c] = ctx.m_day.camExist[c] ? 1 : 0;
    for (int i = 0; i < 16; ++i)
        if (ctx.m_day.camSel[ctx.m_day.camPage * 16 + i])
            Box(ctx, i).checked = true;
    ShowPage(ctx);
}

bool SelectBackupDay(BackupContext& ctx, const std::string& day) {
    ctx.m_day.date = day;
    ResetCameraSelection(ctx);
    std::memset(ctx.m_day.hourHasRec, 0, sizeof ctx.m_day.hourHasRec);
    std::memset(ctx.m_day.minuteHasRec, 0, sizeof ctx.m_day.minuteHasRec);
    std::memset(ctx.m_day.camExist, 0, sizeof ctx.m_day.camExist);
    if (!ctx.m_host.localMode) {
        // The hours shown are the last day's, whose flags are gone: until the answer fills
        // them, no time can be chosen and no Add can ask for a range the day may not have.
        ClearTimeCombos(ctx);
        RequestDayIndex(ctx, day);
        return true;
    }
    const bool found = ScanRecordedDay(ctx.m_host, ctx.m_day, day) != 0;
    ClearTimeCombos(ctx);
    if (found)
        ShowRecordedHours(ctx);
    ShowDayCameras(ctx);
    ctx.m_schedule.pickedRow = -1;
    ctx.m_view.ScheduleRowPicked(-1);
    return found;
}

bool SelectBackupDayLabel(BackupContext& ctx, const std::string& label) {
    const std::string day =
        CConvertDateType().DisplayToDate(label, static_cast<unsigned>(ctx.m_host.dateType));
    return SelectBackupDay(ctx, day);
}

void ShowRecordedHours(BackupContext& ctx) {
    std::vector<std::string> hours;
    for (int h = 0; h < 24; ++h)
        if (ctx.m_day.hourHasRec[h])
            hours.push_back(Two(h));
    ctx.m_view.TimeRowsChanged(backup::TimeField::kStartHour, hours);
    ctx.m_view.TimeRowsChanged(backup::TimeField::kEndHour, hours);
}

void ClearTimeRows(BackupContext& ctx) {
    for (auto field : {backup::TimeField::kStartHour, backup::TimeField::kStartMinute,
                       backup::TimeField::kEndHour, backup::TimeField::kEndMinute})
        ctx.m_view.TimeRowsChanged(field, {});
}

void ClearTimeCombos(BackupContext& ctx) {
    ClearTimeRows(ctx);
    ctx.m_day.lastStartHour = ctx.m_day.lastEndHour = -1;
}

void OnSelchangeStartHour(BackupContext& ctx, const backup::TimeFields& range) {
    ListHourMinutes(ctx, range, backup::TimeField::kStartMinute, ctx.m_day.startHourMinutes,
                    ctx.m_day.lastStartHour);
}

void OnSelchangeEndHour(BackupContext& ctx, const backup::TimeFields& range) {
    ListHourMinutes(ctx, range, backup::TimeField::kEndMinute, ctx.m_day.endHourMinutes,
                    ctx.m_day.lastEndHour);
}

void OnSelchangeMinute(BackupContext& ctx, const backup::TimeFields& range) {
    UpdateCameraExist(ctx, range, false);
}

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

void OnCameraBox(BackupContext& ctx, int box) {
    const int c = ctx.m_day.camPage * 16 + box;
    if (box < 0 || box >= 16 || c >= kMaxCameras)
        return;
    ctx.m_day.camSel[c] = ctx.m_day.camSel[c] ? 0 : 1;
    // The box itself shows the click already.
    Box(ctx, box).checked = ctx.m_day.camSel[c] != 0;
}

void DisableCameraBoxes(BackupContext& ctx) {
    for (int i = 0; i < 16; ++i) {
        Box(ctx, i).checked = false;
        Box(ctx, i).enabled = false;
    }
    ShowPage(ctx);
}

void ShowEntryCameras(BackupContext& ctx) {
    for (int i = 0; i < 16; ++i) {
        if (ctx.m_day.camSel[i])
            Box(ctx, i).enabled = true;
        Box(ctx, i).checked = ctx.m_day.camSel[i] != 0;
    }
    ShowPage(ctx);
}

void ResetCameraBoxes(BackupContext& ctx) {
    for (int i = 0; i < 16; ++i) {
        Box(ctx, i).enabled = false;
        if (i >= ctx.m_host.camCount)
            Box(ctx, i).shown = false;
    }
    ShowPage(ctx);
}

void OnPrevPage(BackupContext& ctx) {
    if (ctx.m_day.camPage == 0)
        return;
    --ctx.m_day.camPage;
    if (ctx.m_host.camCount == 24 && ctx.m_day.camPage == 0)
        for (int i = 0; i < 16; ++i)
            Box(ctx, i).shown = true;
    ShowPageBoxes(ctx);
}

void OnNextPage(BackupContext& ctx) {
    const int last = LastCameraPage(ctx.m_host.camCount);
    if (ctx.m_day.camPage >= last)
        return;
    ++ctx.m_day.camPage;
    if (ctx.m_host.camCount == 24 && last == 1)
        for (int i = 0; i < 16; ++i)
            if (ctx.m_day.camPage * 16 + i >= 24)
                Box(ctx, i).shown = false;
    ShowPageBoxes(ctx);
}
