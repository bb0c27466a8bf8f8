#include "backup/ControlsState.h"

#include "backup/CameraSelection.h"

void SetControlsState(BackupContext& ctx, ControlsMode mode) {
    if (mode == ControlsMode::kIdle)
        ctx.m_chooser.ShowDayCameras();
    else
        ctx.m_chooser.DisableCameraBoxes();
    backup::ControlsFacts facts;
    facts.entryPicked = ctx.m_schedule.entryPicked != 0;
    facts.discTarget = ctx.m_target.kind == backup::TargetKind::kDisc;
    facts.pages = ctx.m_host.camCount > 16;
    ctx.m_view.ControlsModeChanged(mode, facts);
}
