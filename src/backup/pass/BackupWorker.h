#pragma once
// The backup worker: one thread for the front end's life, asleep on an auto-reset event until a
// backup starts. Each time it wakes for a job it runs the job's pass by the job's entry source
// (from this recorder, or entry by entry over the link), and tells its endings how the pass
// ended, on the front end's own thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "backup/pass/PassEnding.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/RunState.h"
#include "platform/Threading.h"

class BackupWorker {
  public:
    // run's running flag is cleared to stop a pass; endings hear of each pass's end.
    BackupWorker(backup::RunState& run, backup::IPassEndings& endings)
        : m_run(run), m_endings(endings) {}
    ~BackupWorker() { StopMakeFileThread(); }
    BackupWorker(const BackupWorker&) = delete;
    BackupWorker& operator=(const BackupWorker&) = delete;

    // Creates the event (reset) and starts the thread.
    void StartMakeFileThread();
    // How the worker reaches the context's thread: run calls its argument there and returns
    // once it is done. Without one the call runs on the worker, for a front end whose own
    // thread only waits while a pass runs.
    using OwnerThread = std::function<void(const std::function<void()>&)>;
    void SetOwnerThread(OwnerThread run) { m_onOwner = std::move(run); }
    // Wakes the worker for a new pass of job (the OK command).
    void Start(std::shared_ptr<backup::PassJob> job);
    // Tells the loop to end and a running pass to stop at its next check; returns at once.
    void RequestStop();
    // True once the thread has left its loop (or never ran).
    bool finished() const { return !m_hMakeFileThread || m_bFinished; }
    // Ends the loop and waits for the thread; a running pass is told to stop first.
    void StopMakeFileThread();

  private:
    int MakeFileThread();
    std::shared_ptr<backup::PassJob> CurrentJob();
    void Tell(const std::optional<backup::PassEnding>& ending);
    void OnOwnerThread(const std::function<void()>& call);

    backup::RunState& m_run;
    backup::IPassEndings& m_endings;
    OwnerThread m_onOwner;
    std::mutex m_jobMutex;
    std::shared_ptr<backup::PassJob> m_job;
    platform::AutoResetEvent m_hMakeFileEvent{true};
    std::unique_ptr<platform::WorkerThread> m_hMakeFileThread;
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bMakeFileRun{false};
};
