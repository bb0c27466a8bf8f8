#include "backup/DiscBurn.h"

#include <cstdio>
#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/DiscReadBack.h"
#include "backup/EntrySize.h"
#include "backup/LocalPassEnd.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleAfterPass.h"
#include "backup/ScheduleCommands.h"
#include "backup/WriterErrors.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

std::string Text(BackupContext& ctx, const char* key) {
    return ctx.GetLanguageText("CDWRITER", key);
}

void BackToIdle(BackupContext& ctx) {
    ctx.m_chooser.SetControlsState(ControlsMode::kIdle, ctx.m_target.IsDisc());
    ctx.m_view.SetPreviewControlsState(1);
}

void ShowCapacityAgain(BackupContext& ctx) {
    ctx.m_view.ShowProgress(false);
    ctx.m_view.ShowDiscSpace(true);
}

void WriteEnded(BackupContext& ctx) {
    ctx.m_disc.writing = 0;
    ctx.m_disc.readBack.reset();
    const std::string text = Text(ctx, "A010010");
    ctx.SetStatusText(text);
    ctx.ShowMessage(text);
    BackToIdle(ctx);
    ShowCapacityAgain(ctx);
    ctx.SetStatusText("");
}

void WriteCompleted(BackupContext& ctx) {
    CDVDWriterPro2* writer = ctx.m_disc.writer;
    // Event 13 comes after the read-back found the disc to be the image.
    std::string checked;
    if (ctx.m_disc.readBack)
        checked = "\n" + ctx.GetLanguageText("BACKUP", "Q010011");
    if (!ctx.m_run.keyFingerprint.empty())
        checked += "\n" + ctx.GetLanguageText("BACKUP", "Q010012") + " " + ctx.m_run.keyFingerprint;
    ctx.m_disc.readBack.reset();
    storage::DeleteFolderTree(paths::kDiscImageRoot);
    const bool whole = PassCompletedEveryEntry(ctx.m_schedule, ctx.m_run.report);
    if (whole) {
        storage::DeleteFolderTree(ctx.WorkingFolder());
        ctx.m_schedule.rows.clear();
        ctx.m_view.ScheduleListChanged(ctx.m_schedule.rows);
        ctx.m_view.TotalSizeChanged("");
    }
    const std::string text = Text(ctx, "A010011");
    ctx.SetStatusText(text);
    ctx.m_disc.writing = 0;
    BackToIdle(ctx);
    if (whole)
        ClearReservedFolder(ctx.m_host, ctx.m_schedule);
    else
        ctx.m_editor.ClearCompletedEntries(
            ctx.m_run.report);  // what the disc lacks stays in the schedule
    ShowCapacityAgain(ctx);
    ctx.m_targets.UpdateDiscSpaceBar(writer && writer->GetMediaType() != kMediaNoDisc);
    ctx.m_editor.FillScheduleList();
    std::memset(&ctx.m_schedule.entryInfo, 0, sizeof ctx.m_schedule.entryInfo);
    if (whole)
        ctx.m_schedule.totalKB = 0;
    ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    const std::string outcome =
        PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType);
    ctx.SetStatusText("");
    if (writer)
        writer->SetDriveState(0);
    ResetViewerOption(ctx.m_view, ctx.m_run);
    // A pass that missed files wrote what it had: the box says what is missing.
    ctx.ShowMessage((outcome.empty() ? text : text + "\n" + outcome) + checked, "Backup",
                    outcome.empty() ? MB_OK : MB_OK | MB_ICONWARNING);
    if (writer)
        writer->SetDriveState(1);
}

void WriterError(BackupContext& ctx, long code, const std::string& detail) {
    BackToIdle(ctx);
    ctx.m_disc.writing = 0;
    ctx.m_disc.readBack.reset();
    if (code == kReadBackFailed) {
        // Written, but not what the image holds: the backup has not been made.
        ctx.SetStatusText(ctx.GetLanguageText("BACKUP", "Q010010"));
        ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "Q010010") + "\n" + detail, "Backup",
                        MB_OK | MB_ICONERROR);
    } else {
        ctx.ShowMessage(GetWriterErrorText(code));
    }
    if (ctx.m_disc.writer)
        ctx.m_disc.writer->SetDriveState(0);
}

void EraseCompleted(BackupContext& ctx) {
    CDVDWriterPro2* writer = ctx.m_disc.writer;
    const std::string text = Text(ctx, "A010007");
    ctx.SetStatusText(text);
    if (writer)
        writer->RefreshMedia();
    ctx.SetStatusText("");
    ctx.m_targets.UpdateDiscSpaceBar(true);
    UpdateEraseButton(ctx.m_view, ctx.m_disc.writer);
    BackToIdle(ctx);
    if (writer)
        writer->SetDriveState(0);
    ResetViewerOption(ctx.m_view, ctx.m_run);
    ctx.ShowMessage(text);
    if (writer)
        writer->SetDriveState(1);
}

}  // namespace

BOOL InitDiscWriter(BackupContext& ctx) {
    if (ctx.m_disc.writer && ctx.m_disc.writer->InitializeWriter(0))
        return 1;
    ctx.ShowMessage(Text(ctx, "A010001"));
    return 0;
}

void HandOverDiscImage(BackupContext& ctx) {
    // A cancelled build hands nothing over: its image is not whole.
    if (ctx.m_run.running) {
        if (ctx.m_disc.writer)
            ctx.m_disc.writer->AddFiles("\\", std::string(paths::kDiscImageRoot) + "\\*.*");
        StartDiscWrite(ctx);
        return;
    }
    BackToIdle(ctx);
    ShowCapacityAgain(ctx);
    ctx.SetStatusText("");
}

void StartDiscWrite(BackupContext& ctx) {
    CDVDWriterPro2* writer = ctx.m_disc.writer;
    if (!writer || writer->GetMediaType() == kMediaNoDisc) {
        ctx.ShowMessage(Text(ctx, "A010019"));
        // The disc went between the start checks and the write: nothing will be written, and
        // the window must not stay in its running state waiting for it.
        ctx.m_run.running = 0;
        BackToIdle(ctx);
        ShowCapacityAgain(ctx);
        ctx.SetStatusText("");
        return;
    }
    for (int i = 0; i < 2; ++i) {
        writer->SetOption19(1);
        writer->SetOption16(1);
        writer->SetVolumeLabel("QORBACKUP");
    }
    writer->GetMediaType();
    writer->SetOption12(0);
    writer->PrepareWrite(1);
    writer->SetOption20(0);
    writer->SetOption14(1);
    writer->SetOption11(0);
    // The disc is read back against the image's manifest before the backup counts as done.
    ctx.m_disc.readBack = MakeDiscReadBack();
    writer->SetReadBackCheck(ctx.m_disc.readBack.get());
    ctx.m_disc.writing = 1;
    ctx.m_run.running = 0;
    if (!writer->WriteDisc())
        ctx.ShowMessage(Text(ctx, "A010020"));
}

void OnWriterEvent(BackupContext& ctx, const WriterEvent& e) {
    switch (e.id) {
        case kWriterPreparing:
            ctx.SetStatusText(Text(ctx, "A010008"));
            break;
        case kWriterWriting:
            ctx.SetStatusText(Text(ctx, "A010009"));
            break;
        case kWriterClosingSession:
            ctx.SetStatusText(Text(ctx, "A010012"));
            break;
        case kWriterLeadOut:
            ctx.SetStatusText(Text(ctx, "A010013"));
            break;
        case kWriterVerifying:
            ctx.SetStatusText(Text(ctx, "A010014"));
            break;
        case kWriterPercent: {
            char text[256];
            std::snprintf(text, sizeof text, "%s - %02d%%", Text(ctx, "A010015").c_str(),
                          static_cast<int>(static_cast<short>(e.a)));
            ctx.SetStatusText(text);
            break;
        }
        case kWriterProgress:
            if (e.c > 0)
                ctx.m_view.SetProgressPos(static_cast<int>(e.b * 100 / e.c));
            break;
        case kWriterWriteEnded:
            WriteEnded(ctx);
            break;
        case kWriterWriteCompleted:
            WriteCompleted(ctx);
            break;
        case kWriterError:
            WriterError(ctx, e.a, e.text);
            break;
        case kWriterErased:
            EraseCompleted(ctx);
            break;
        default:  // the others say nothing the window shows
            break;
    }
}

bool OnErase(BackupContext& ctx) {
    if (ctx.m_run.running) {
        ctx.Refuse("M010016");
        return false;
    }
    if (ctx.m_disc.writing) {
        ctx.Refuse("M010017");
        return false;
    }
    const std::string question =
        ctx.GetLanguageText("BACKUP", "M010025") + "  " + ctx.GetLanguageText("BACKUP", "M010026");
    if (ctx.ShowMessage(question, "Backup", MB_YESNO) != IDYES)
        return false;
    ctx.m_view.EnableViewerOption(false);
    CDVDWriterPro2* writer = ctx.m_disc.writer;
    const long type = writer ? writer->GetMediaType() : kMediaNoDisc;
    if (type == kMediaNoDisc) {
        ctx.ShowMessage(Text(ctx, "A010003"));
        return false;
    }
    if (!IsRewritableMedia(type)) {
        ctx.ShowMessage(Text(ctx, "A010004"));
        return false;
    }
    bool feature = false;
    for (long code : {7L, 37L, 10L, 39L})
        if (writer->CheckMediaFeature(code) == 1) {
            feature = true;
            break;
        }
    if (!feature) {
        ctx.ShowMessage(Text(ctx, "A010005"));
        return false;
    }
    ctx.m_chooser.SetControlsState(ControlsMode::kDiscBusy, ctx.m_target.IsDisc());
    ctx.m_view.SetPreviewControlsState(2);
    if (writer->EraseDisc(1))
        return true;
    writer->SetDriveState(0);
    ctx.ShowMessage(Text(ctx, "A010006"));
    BackToIdle(ctx);
    return false;
}
