#include "backup/BackupWorker.h"

#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/CameraSelection.h"
#include "backup/ContextPass.h"
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
    SetControlsState(ctx, ControlsMode::kIdle);
    ctx.m_view.SetPreviewControlsState(1);
    ctx.m_view.ShowProgress(false);
}

}  // namespace

void BackupWorker::StartMakeFileThread() {
    m_bFinished = false;
    m_hMakeFileEvent.Reset();
    m_bMakeFileRun = true;
    m_hMakeFileThread = platform::WorkerThread::Start([this] { return MakeFileThread(); });
}

void BackupWorker::Start(std::shared_ptr<backup::PassJob> job) {
    {
        std::lock_guard<std::mutex> lock(m_jobMutex);
        m_job = std::move(job);
    }
    m_hMakeFileEvent.Set();
}

std::shared_ptr<backup::PassJob> BackupWorker::CurrentJob() {
    std::lock_guard<std::mutex> lock(m_jobMutex);
    return m_job;
}

void BackupWorker::OnOwnerThread(const std::function<void()>& call) {
    if (m_onOwner)
        m_onOwner(call);
    else
        call();
}

void BackupWorker::RequestStop() {
    m_ctx.m_run.running = 0;
    m_bMakeFileRun = false;
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
    while (m_bMakeFileRun) {
        m_hMakeFileEvent.Wait();
        if (!m_bMakeFileRun)
            break;
        const std::shared_ptr<backup::PassJob> job = CurrentJob();
        if (!job)
            continue;
        if (!job->plan().host.localMode) {
            // A remote pass goes on with the share client's answers.
            const RemoteStep step = RunRemoteStep(*job);
            if (step.ended())
                OnOwnerThread([this, &step] { EndRemoteStep(m_ctx, step); });
            continue;
        }
        {
            // A local pass runs once, whatever wakes the worker after it.
            std::lock_guard<std::mutex> lock(m_jobMutex);
            if (m_job == job)
                m_job.reset();
        }
        RunLocalPass(*job);
        OnOwnerThread([this] { EndLocalPass(m_ctx); });
    }
    // A remote run stopped as the worker was told to end still gets its partial manifest.
    if (const std::shared_ptr<backup::PassJob> job = CurrentJob();
        job && !job->plan().host.localMode && job->begun && !job->stepsEnded()) {
        const RemoteStep step = RunRemoteStep(*job);
        if (step.ended())
            OnOwnerThread([this, &step] { EndRemoteStep(m_ctx, step); });
    }
    m_bMakeFileRun = false;
    m_bFinished = true;
    return 0;
}

namespace {

// Every used entry into the image, the viewer first when it is asked for.
void RunLocalEntries(backup::PassJob& job) {
    if (job.plan().includeViewer) {
        WriteViewerIni(job);
        CopyViewerFiles(job);
    }
    for (int i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = job.plan().entries[static_cast<std::size_t>(i)];
        if (e.bUsed) {
            if (e.bAllCam)
                AllCameraMakeFile(job, i, StartKey(e), EndKey(e));
            else
                SelectCameraMakeFile(job, i, StartKey(e), EndKey(e));
            job.made[static_cast<std::size_t>(i)] = true;
        }
        if (!job.running())
            break;
    }
}

}  // namespace

void RunLocalPass(backup::PassJob& job) {
    const backup::PassPlan& plan = job.plan();
    job.report().Reset();
    job.doneSize = 0;
    job.events().Started();
    NoteTargetVolume(job);
    ClearDiscImageFolder(plan);
    BeginImageManifest(job);
    {
        // Every file written below the image root on this thread is hashed as it is written.
        platform::ScopedWriteTap tap(ImageManifestTap(job));
        RunLocalEntries(job);
    }
    if (!job.running())
        job.report().Stopped();  // cancelled, or the target was lost
    FinishImageManifest(job);
    // A folder target may be a stick the operator takes away once told the backup is done.
    if (job.running() && plan.target == backup::TargetKind::kFolder &&
        !platform::FlushVolume(paths::ImageRoot(plan.targetType(), plan.targetText)))
        job.report().Fail(plan.targetText + (platform::GetLastError() == platform::ERROR_DISK_FULL
                                                 ? " could not be written: the target is full"
                                                 : " could not be written to its device"));
    job.events().Built(job.running());
}

void EndLocalPass(BackupContext& ctx) {
    ctx.m_run.TakeResults();
    if (ctx.m_run.job)
        for (int i = 0; i < kScheduleSlots; ++i)
            if (ctx.m_run.job->made[static_cast<std::size_t>(i)])
                ctx.m_schedule.table[static_cast<std::size_t>(i)].bMade = 1;
    if (ctx.m_target.kind == backup::TargetKind::kFolder)
        FinishFolderBackup(ctx);
    else
        HandOverDiscImage(ctx);
}

void ClearFinishedSchedule(BackupContext& ctx) {
    ctx.m_run.running = 0;
    SetIdle(ctx);
    ctx.m_view.SetStatusText("");
    storage::ClearWorkingFolder(ctx.m_host.basePath);
    ctx.m_schedule.rows.clear();
    ctx.m_schedule.pickedRow = -1;
    ctx.m_view.ScheduleListChanged(ctx.m_schedule.rows);
    ctx.m_view.TotalSizeChanged("");
    std::memset(&ctx.m_schedule.entryInfo, 0, sizeof ctx.m_schedule.entryInfo);
    ClearReservedFolder(ctx.m_host, ctx.m_schedule);
    ctx.m_chooser.ResetCameraSelection();
}

void FinishFolderBackup(BackupContext& ctx) {
    if (PassCompletedEveryEntry(ctx.m_schedule, ctx.m_run.report)) {
        ClearFinishedSchedule(ctx);
    } else {
        // What the pass did not make whole stays in the schedule for the next one.
        ctx.m_run.running = 0;
        SetIdle(ctx);
        ctx.m_view.SetStatusText("");
        ClearCompletedEntries(ctx);
    }
    ResetViewerOption(ctx.m_view, ctx.m_run);
    ctx.m_view.PassEnded();
}

void ShowPassOutcome(BackupContext& ctx) {
    ctx.m_view.ShowStatus(false);
    const std::string outcome =
        PassOutcomeText(ctx.m_prompts, ctx.m_run.report, ctx.m_schedule, ctx.m_host.dateType);
    std::string text = outcome.empty() ? ctx.GetLanguageText("BACKUP", "M010014") : outcome;
    if (!ctx.m_run.keyFingerprint.empty())
        text += "\n" + ctx.GetLanguageText("BACKUP", "Q010012") + " " + ctx.m_run.keyFingerprint;
    ctx.ShowMessage(text, "Backup", outcome.empty() ? MB_OK : MB_OK | MB_ICONWARNING);
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
