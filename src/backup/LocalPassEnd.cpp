#include "backup/LocalPassEnd.h"

#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/CameraSelection.h"
#include "backup/DiscBurn.h"
#include "backup/ScheduleAfterPass.h"
#include "backup/ScheduleCommands.h"

namespace {

void SetIdle(BackupContext& ctx) {
    ctx.m_chooser.SetControlsState(ControlsMode::kIdle, ctx.m_target.IsDisc());
    ctx.m_view.SetPreviewControlsState(1);
    ctx.m_view.ShowProgress(false);
}

}  // namespace

void EndLocalPass(BackupContext& ctx) {
    ctx.m_run.TakeResults();
    if (ctx.m_run.job)
        for (int i = 0; i < kScheduleSlots; ++i)
            if (ctx.m_run.job->made[static_cast<std::size_t>(i)])
                ctx.m_schedule.table[static_cast<std::size_t>(i)].bMade = 1;
    if (ctx.m_target.kind == backup::TargetKind::kFolder)
        FinishFolderBackup(ctx);
    else
        ctx.m_burner.HandOverDiscImage();
}

void ClearFinishedSchedule(BackupContext& ctx) {
    ctx.m_run.running = 0;
    SetIdle(ctx);
    ctx.m_view.SetStatusText("");
    ctx.m_editor.ClearWholeSchedule();
}

void FinishFolderBackup(BackupContext& ctx) {
    if (PassCompletedEveryEntry(ctx.m_schedule, ctx.m_run.report)) {
        ClearFinishedSchedule(ctx);
    } else {
        // What the pass did not make whole stays in the schedule for the next one.
        ctx.m_run.running = 0;
        SetIdle(ctx);
        ctx.m_view.SetStatusText("");
        ctx.m_editor.ClearCompletedEntries(ctx.m_run.report);
    }
    ResetViewerOption(ctx.m_view, ctx.m_run);
    ctx.m_view.PassEnded();
}

void ShowPassOutcome(backup::IOperatorView& view, backup::OperatorPrompts& prompts,
                     const backup::RunState& run, const backup::ScheduleState& schedule,
                     int dateType) {
    view.ShowStatus(false);
    const std::string outcome = PassOutcomeText(prompts, run.report, schedule, dateType);
    std::string text = outcome.empty() ? prompts.Text("BACKUP", "M010014") : outcome;
    if (!run.keyFingerprint.empty())
        text += "\n" + prompts.Text("BACKUP", "Q010012") + " " + run.keyFingerprint;
    prompts.ShowMessage(text, "Backup", outcome.empty() ? MB_OK : MB_OK | MB_ICONWARNING);
}

std::string PassOutcomeText(const backup::OperatorPrompts& prompts, const BackupReport& report,
                            const backup::ScheduleState& schedule, int dateType) {
    const std::vector<std::string> failures = report.failures();
    if (failures.empty() && !report.stopped())
        return std::string();
    std::string text = prompts.Text("BACKUP", failures.empty() ? "Q010007" : "Q010006");
    constexpr std::size_t kShown = 8;  // a box, not a log: the rest is counted
    for (std::size_t i = 0; i < failures.size() && i < kShown; ++i)
        text += "\n" + failures[i];
    if (failures.size() > kShown)
        text += "\n(" + std::to_string(failures.size() - kShown) + " more)";
    const std::vector<std::string> kept = KeptEntries(schedule, dateType, report);
    if (!kept.empty()) {
        text += "\n\n" + prompts.Text("BACKUP", "Q010013");
        for (std::size_t i = 0; i < kept.size() && i < kShown; ++i)
            text += "\n" + kept[i];
        if (kept.size() > kShown)
            text += "\n(" + std::to_string(kept.size() - kShown) + " more)";
    }
    return text;
}
