#include "backup/BackupWorker.h"

#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/CameraSelection.h"
#include "backup/ControlsState.h"
#include "backup/CopyEngine.h"
#include "backup/DiscBurn.h"
#include "backup/Extraction.h"
#include "backup/ImageManifest.h"
#include "backup/RemoteBackup.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleAfterPass.h"
#include "platform/FileSystem.h"
#include "platform/WriteTap.h"
#include "ports/CFileShareClient.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

void SetIdle(BackupContext& ctx) {
    SetControlsState(ctx, 1);
    ctx.m_view.SetPreviewControlsState(1);
    ctx.m_view.ShowItem(ctl::kProgress, false);
}

}  // namespace

void BackupWorker::StartMakeFileThread() {
    m_bFinished = false;
    m_hMakeFileEvent.Reset();
    m_ctx.m_bMakeFileRun = 1;
    m_hMakeFileThread = platform::WorkerThread::Start([this] { return MakeFileThread(); });
}

void BackupWorker::RequestStop() {
    m_ctx.m_bBackupRunning = 0;
    m_ctx.m_bMakeFileRun = 0;
    m_hMakeFileEvent.Set();
}

void BackupWorker::StopMakeFileThread() {
    if (!m_hMakeFileThread)
        return;
    RequestStop();
    m_hMakeFileThread->Join();
    m_hMakeFileThread.reset();
}

int BackupWorker::MakeFileThread() {
    while (m_ctx.m_bMakeFileRun) {
        m_hMakeFileEvent.Wait();
        if (!m_ctx.m_bMakeFileRun)
            break;
        RunBackup(m_ctx);
        if (!m_ctx.m_bLocalMode)
            continue;  // a remote backup goes on with the share client's answers
        if (m_ctx.m_nTargetType == 3) {
            FinishFolderBackup(m_ctx);
        } else {
            HandOverDiscImage(m_ctx);
        }
    }
    m_ctx.m_bMakeFileRun = 0;
    m_bFinished = true;
    return 0;
}

namespace {

// Every used entry into the image, the viewer first when it is asked for.
void RunLocalEntries(BackupContext& ctx) {
    if (ctx.m_bIncludeViewer) {
        WriteViewerIni(ctx);
        CopyViewerFiles(ctx);
    }
    for (int i = 0; i < kScheduleSlots; ++i) {
        ScheduleEntry& e = ctx.m_Schedule[static_cast<std::size_t>(i)];
        if (e.bUsed) {
            if (e.bAllCam)
                AllCameraMakeFile(ctx, i, StartKey(e), EndKey(e));
            else
                SelectCameraMakeFile(ctx, i, StartKey(e), EndKey(e));
            e.bMade = 1;
        }
        if (!ctx.m_bBackupRunning)
            break;
    }
}

}  // namespace

void RunBackup(BackupContext& ctx) {
    if (!ctx.m_bLocalMode) {
        // The recordings are on the remote recorder, never the ones of this machine.
        RunRemotePass(ctx);
        return;
    }
    ctx.m_report.Reset();
    ctx.m_view.SetWaitCursor(true);
    ctx.m_nDoneSize = 0;
    NoteTargetVolume(ctx);
    ctx.m_view.ShowItem(ctl::kCapacityBar, false);
    ctx.m_view.ShowItem(ctl::kProgress, true);
    ctx.m_view.SetProgressRange(0, 100);
    ClearDiscImageFolder(ctx);
    BeginImageManifest(ctx);
    {
        // Every file written below the image root on this thread is hashed as it is written.
        platform::ScopedWriteTap tap(ImageManifestTap(ctx));
        RunLocalEntries(ctx);
    }
    if (!ctx.m_bBackupRunning)
        ctx.m_report.Stopped();  // cancelled, or the target was lost
    FinishImageManifest(ctx);
    if (ctx.m_bBackupRunning) {
        // A folder target may be a stick the operator takes away once told the backup is done.
        if (ctx.m_nTargetType == 3 &&
            !platform::FlushVolume(paths::ImageRoot(ctx.m_nTargetType, ctx.m_strTargetText)))
            ctx.m_report.Fail(ctx.m_strTargetText +
                              (platform::GetLastError() == platform::ERROR_DISK_FULL
                                   ? " could not be written: the target is full"
                                   : " could not be written to its device"));
        ctx.m_view.SetProgressPos(100);
    }
    ctx.m_view.SetWaitCursor(false);
}

void ClearFinishedSchedule(BackupContext& ctx) {
    ctx.m_bBackupRunning = 0;
    SetIdle(ctx);
    ctx.m_view.SetItemText(ctl::kStatusLine, "");
    storage::ClearWorkingFolder(ctx.m_strExePath);
    ctx.m_lbSchedule.clear();
    ctx.m_nListSel = -1;
    ctx.m_view.ScheduleListChanged(ctx.m_lbSchedule);
    ctx.m_view.SetItemText(ctl::kTotalSize, "");
    std::memset(&ctx.m_EntryInfo, 0, sizeof ctx.m_EntryInfo);
    ClearReservedFolder(ctx);
    ResetCameraSelection(ctx);
}

void FinishFolderBackup(BackupContext& ctx) {
    if (PassCompletedEveryEntry(ctx)) {
        ClearFinishedSchedule(ctx);
    } else {
        // What the pass did not make whole stays in the schedule for the next one.
        ctx.m_bBackupRunning = 0;
        SetIdle(ctx);
        ctx.m_view.SetItemText(ctl::kStatusLine, "");
        ClearCompletedEntries(ctx);
    }
    ResetViewerOption(ctx);
    ctx.m_view.SendDialogMessage(kMsgShareAnswer, kAnswerPassEnded, 0);
}

std::string PassOutcomeText(const BackupContext& ctx) {
    const std::vector<std::string> failures = ctx.m_report.failures();
    if (failures.empty() && !ctx.m_report.stopped())
        return std::string();
    std::string text = ctx.GetLanguageText("BACKUP", failures.empty() ? "Q010007" : "Q010006");
    constexpr std::size_t kShown = 8;  // a box, not a log: the rest is counted
    for (std::size_t i = 0; i < failures.size() && i < kShown; ++i)
        text += "\n" + failures[i];
    if (failures.size() > kShown)
        text += "\n(" + std::to_string(failures.size() - kShown) + " more)";
    const std::vector<std::string> kept = KeptEntries(ctx);
    if (!kept.empty()) {
        text += "\n\n" + ctx.GetLanguageText("BACKUP", "Q010013");
        for (std::size_t i = 0; i < kept.size() && i < kShown; ++i)
            text += "\n" + kept[i];
        if (kept.size() > kShown)
            text += "\n(" + std::to_string(kept.size() - kShown) + " more)";
    }
    return text;
}
