#include "backup/ControlsState.h"

#include "backup/CameraSelection.h"

namespace {

// Enabled when idle, disabled in both busy modes.
constexpr int kIdleOnly[] = {ctl::kAdd,     ctl::kStartHour,    ctl::kStartMinute,
                             ctl::kEndHour, ctl::kEndMinute,    ctl::kSelectAll,
                             ctl::kDelete,  ctl::kScheduleList, ctl::kMemo,
                             ctl::kHistory, ctl::kErase,        ctl::kBrowse,
                             ctl::kOk};

}  // namespace

void SetControlsState(BackupContext& ctx, ControlsMode mode) {
    const bool idle = mode == ControlsMode::kIdle;
    for (int id : kIdleOnly)
        ctx.m_view.EnableItem(id, idle);
    ctx.m_view.EnableItem(ctl::kUpdate, idle && ctx.m_bEntryPicked);
    ctx.m_view.EnableItem(ctl::kWriteSpeed, idle && ctx.m_target == backup::TargetKind::kDisc);
    if (ctx.m_host.camCount > 16) {
        ctx.m_view.EnableItem(ctl::kPrevPage, idle);
        ctx.m_view.EnableItem(ctl::kNextPage, idle);
    }
    if (mode == ControlsMode::kBusy) {
        ctx.m_view.SetItemText(ctl::kCancel, ctx.GetLanguageText("BACKUP", "A010018"));
    } else if (idle) {
        ctx.m_view.EnableItem(ctl::kCancel, true);
        ctx.m_view.SetItemText(ctl::kCancel, ctx.GetLanguageText("BACKUP", "A010006"));
    } else {
        ctx.m_view.EnableItem(ctl::kCancel, false);
    }
    if (idle) {
        ShowDayCameras(ctx);
    } else {
        for (int i = 0; i < 16; ++i) {
            ctx.m_view.CheckItem(ctl::kFirstCameraBox + i, false);
            ctx.m_view.EnableItem(ctl::kFirstCameraBox + i, false);
        }
    }
    ctx.m_view.SetControlsState(static_cast<int>(mode));
}
