#include "backup/CameraSelection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup/ReservedFolder.h"
#include "backup/ScheduleCommands.h"
#include "storage/WorkingFolder.h"

namespace {

void ShowPageZeroBoxes(BackupContext& ctx) {
    ctx.m_nCamPage = 0;
    for (int i = 0; i < 16; ++i) {
        const int id = ctl::kFirstCameraBox + i;
        char caption[8];
        std::snprintf(caption, sizeof caption, "%02d", i + 1);
        ctx.m_view.SetItemText(id, caption);
        ctx.m_view.ShowItem(id, true);
        ctx.m_view.CheckItem(id, false);
        ctx.m_view.EnableItem(id, ctx.m_bCamExist[i] != 0);
    }
}

}  // namespace

void ResetCameraSelection(BackupContext& ctx) {
    ShowPageZeroBoxes(ctx);
    std::memset(ctx.m_bCamSel, 0, sizeof ctx.m_bCamSel);
    ctx.m_view.SetItemText(ctl::kMemo, "");
    std::memset(&ctx.m_EntryInfo, 0, sizeof ctx.m_EntryInfo);
    EnableEntryButtons(ctx, false);
}

void ShowDayCameras(BackupContext& ctx) {
    ShowPageZeroBoxes(ctx);
    ctx.m_nExistCamCount = 0;
    bool pageZero = false;
    for (int c = 0; c < kMaxCameras; ++c)
        if (ctx.m_bCamExist[c]) {
            ++ctx.m_nExistCamCount;
            pageZero = pageZero || c < 16;
        }
    std::memset(ctx.m_bCamSel, 0, sizeof ctx.m_bCamSel);
    if (pageZero)
        ctx.m_view.EnableItem(ctl::kSelectAll, true);
}

void UpdateCameraExist(BackupContext& ctx, bool byHours) {
    const std::string shText = ctx.m_view.GetItemText(ctl::kStartHour);
    const std::string smText = ctx.m_view.GetItemText(ctl::kStartMinute);
    const std::string ehText = ctx.m_view.GetItemText(ctl::kEndHour);
    const std::string emText = ctx.m_view.GetItemText(ctl::kEndMinute);
    const int cams = ctx.m_nCamCount < kMaxCameras ? ctx.m_nCamCount : kMaxCameras;
    auto recorded = [&](int c, int h, int m) {
        return ctx.m_RecMap[static_cast<std::size_t>(c) * 1440 + h * 60 + m] != 0;
    };
    if (!shText.empty() && !ehText.empty()) {
        const int sh = std::atoi(shText.c_str()), eh = std::atoi(ehText.c_str());
        const int sm = std::atoi(smText.c_str()), em = std::atoi(emText.c_str());
        if (sh <= eh && sh >= 0 && eh < 24) {
            if (byHours) {
                std::memset(ctx.m_bCamExist, 0, sizeof ctx.m_bCamExist);
                for (int h = sh; h <= eh; ++h)
                    for (int c = 0; c < cams; ++c)
                        for (int m = 0; m < 60; ++m)
                            if (recorded(c, h, m))
                                ctx.m_bCamExist[c] = 1;
            } else if (!(sh == eh && sm > em)) {
                std::memset(ctx.m_bCamExist, 0, sizeof ctx.m_bCamExist);
                for (int h = sh; h <= eh; ++h) {
                    const int first = h == sh ? sm : 0, last = h == eh ? em : 59;
                    for (int m = first; m <= last && m < 60; ++m)
                        for (int c = 0; c < cams; ++c)
                            if (m >= 0 && recorded(c, h, m))
                                ctx.m_bCamExist[c] = 1;
                }
            }
        }
    }
    ResetCameraSelection(ctx);
}

void SetTimeRange(BackupContext& ctx, const std::string& sh, const std::string& sm,
                  const std::string& eh, const std::string& em) {
    ctx.m_view.SetItemText(ctl::kStartHour, sh);
    ctx.m_view.SetItemText(ctl::kStartMinute, sm);
    ctx.m_view.SetItemText(ctl::kEndHour, eh);
    ctx.m_view.SetItemText(ctl::kEndMinute, em);
    UpdateCameraExist(ctx, false);
}

void OnSelectAllCameras(BackupContext& ctx) {
    for (int c = 0; c < kMaxCameras; ++c)
        ctx.m_bCamSel[c] = ctx.m_bCamExist[c] ? 1 : 0;
    for (int i = 0; i < 16; ++i)
        if (ctx.m_bCamSel[ctx.m_nCamPage * 16 + i])
            ctx.m_view.CheckItem(ctl::kFirstCameraBox + i, true);
}

bool SelectBackupDay(BackupContext& ctx, const std::string& day) {
    ctx.m_strSelDate = day;
    ResetCameraSelection(ctx);
    std::memset(ctx.m_bHourHasRec, 0, sizeof ctx.m_bHourHasRec);
    std::memset(ctx.m_bMinuteHasRec, 0, sizeof ctx.m_bMinuteHasRec);
    std::memset(ctx.m_bCamExist, 0, sizeof ctx.m_bCamExist);
    const bool found = ScanRecordedDay(ctx, day) != 0;
    ShowDayCameras(ctx);
    ctx.m_nListSel = -1;
    return found;
}
