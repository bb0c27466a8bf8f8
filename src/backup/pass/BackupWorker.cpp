#include "backup/pass/BackupWorker.h"

#include "backup/pass/EntrySource.h"

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

std::shared_ptr<backup::PassJob> BackupWorker::CurrentJob() {
    std::lock_guard<std::mutex> lock(m_jobMutex);
    return m_job;
}

void BackupWorker::Tell(const std::optional<backup::PassEnding>& ending) {
    if (ending)
        OnOwnerThread([this, &ending] { m_endings.PassEnded(*ending); });
}

int BackupWorker::MakeFileThread() {
    while (m_bMakeFileRun) {
        m_hMakeFileEvent.Wait();
        if (!m_bMakeFileRun)
            break;
        const std::shared_ptr<backup::PassJob> job = CurrentJob();
        if (!job)
            continue;
        const backup::PassStep step = backup::SourceOf(job->plan()).Step(*job);
        if (step.dropJob) {
            std::lock_guard<std::mutex> lock(m_jobMutex);
            if (m_job == job)
                m_job.reset();
        }
        Tell(step.ending);
    }
    if (const std::shared_ptr<backup::PassJob> job = CurrentJob())
        Tell(backup::SourceOf(job->plan()).Abandon(*job));
    m_bMakeFileRun = false;
    m_bFinished = true;
    return 0;
}
