#include "backup/BackupWorker.h"

#include "backup/BackupPackage.h"
#include "backup/CopyEngine.h"
#include "backup/Extraction.h"
#include "backup/ImageManifest.h"
#include "backup/RemoteStep.h"
#include "backup/ReservedFolder.h"
#include "platform/FileSystem.h"
#include "platform/WriteTap.h"
#include "storage/RecorderPaths.h"

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
    m_run.running = 0;
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
                OnOwnerThread([this, &step] { m_endings.RemoteRunEnded(step); });
            continue;
        }
        {
            // A local pass runs once, whatever wakes the worker after it.
            std::lock_guard<std::mutex> lock(m_jobMutex);
            if (m_job == job)
                m_job.reset();
        }
        RunLocalPass(*job);
        OnOwnerThread([this] { m_endings.LocalPassEnded(); });
    }
    // A remote run stopped as the worker was told to end still gets its partial manifest.
    if (const std::shared_ptr<backup::PassJob> job = CurrentJob();
        job && !job->plan().host.localMode && job->begun && !job->stepsEnded()) {
        const RemoteStep step = RunRemoteStep(*job);
        if (step.ended())
            OnOwnerThread([this, &step] { m_endings.RemoteRunEnded(step); });
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
    job.report().Reset();
    job.doneSize = 0;
    job.events().Started();
    job.sink().Open();
    BeginImageManifest(job);
    {
        // Every file written below the image root on this thread is hashed as it is written.
        platform::ScopedWriteTap tap(ImageManifestTap(job));
        RunLocalEntries(job);
    }
    if (!job.running())
        job.report().Stopped();  // cancelled, or the target was lost
    FinishImageManifest(job);
    if (job.running())
        job.sink().Close(job.report());
    job.events().Built(job.running());
}
