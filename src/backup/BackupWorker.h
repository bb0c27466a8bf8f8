#pragma once
// The backup worker: one thread for the dialog's life, asleep on an auto-reset event until a
// backup starts, then one pass over the schedule. It runs the pass from its job alone; what the
// end of a pass does to the schedule and the window runs on the context's own thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "backup/BackupContext.h"
#include "platform/Threading.h"

class BackupWorker {
  public:
    explicit BackupWorker(BackupContext& ctx) : m_ctx(ctx) {}
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
    // Wakes the worker for the next step of its pass (a remote pass's next entry).
    void Signal() { m_hMakeFileEvent.Set(); }
    // Tells the loop to end and a running pass to stop at its next check; returns at once.
    void RequestStop();
    // True once the thread has left its loop (or never ran).
    bool finished() const { return !m_hMakeFileThread || m_bFinished; }
    // Ends the loop and waits for the thread; a running pass is told to stop first.
    void StopMakeFileThread();

  private:
    int MakeFileThread();
    std::shared_ptr<backup::PassJob> CurrentJob();
    void OnOwnerThread(const std::function<void()>& call);

    BackupContext& m_ctx;
    OwnerThread m_onOwner;
    std::mutex m_jobMutex;
    std::shared_ptr<backup::PassJob> m_job;
    platform::AutoResetEvent m_hMakeFileEvent{true};
    std::unique_ptr<platform::WorkerThread> m_hMakeFileThread;
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bMakeFileRun{false};
};

// One local pass over the 50 slots of its plan: every used entry into the image. Worker thread.
void RunLocalPass(backup::PassJob& job);
// The end of a local pass on the context's thread: a folder pass cleans up, a disc pass hands
// its image over to the writer.
void EndLocalPass(BackupContext& ctx);
// The clean-up of a finished folder backup: not running, controls idle, the working folder,
// the list, the total, the entry record and the selection cleared.
void ClearFinishedSchedule(BackupContext& ctx);
// The end of a folder backup: the entries it made whole leave the schedule and the working
// folder (all of them, with the total and the selection, when every entry was made whole), the
// viewer option is cleared and the dialog is sent code 100.
void FinishFolderBackup(BackupContext& ctx);

// What the window tells the operator once a pass has ended: "" when it completed (the window
// then says so in its own words), else that it stopped or which files were not copied, and which
// entries stay in the schedule with the first thing each lacks, so that an incomplete backup is
// never reported as complete.
std::string PassOutcomeText(const backup::OperatorPrompts& prompts, const BackupReport& report,
                            const backup::ScheduleState& schedule, int dateType);
// The box that ends a local folder pass, once the front end has drawn the end (PassEnded): the
// outcome, or that the backup is complete, with the key that signed its manifest.
void ShowPassOutcome(BackupContext& ctx);
