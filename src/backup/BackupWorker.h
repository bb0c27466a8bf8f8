#pragma once
// The backup worker: one thread for the dialog's life, asleep on an auto-reset event until a
// backup starts, then one pass over the schedule.
#include <atomic>
#include <memory>

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
    // Wakes the worker for one pass (the OK command).
    void Signal() { m_hMakeFileEvent.Set(); }
    // Tells the loop to end and a running pass to stop at its next check; returns at once.
    void RequestStop();
    // True once the thread has left its loop (or never ran).
    bool finished() const { return !m_hMakeFileThread || m_bFinished; }
    // Ends the loop and waits for the thread; a running pass is told to stop first.
    void StopMakeFileThread();

  private:
    int MakeFileThread();

    BackupContext& m_ctx;
    platform::AutoResetEvent m_hMakeFileEvent{true};
    std::unique_ptr<platform::WorkerThread> m_hMakeFileThread;
    std::atomic<bool> m_bFinished{false};
};

// One local pass over the 50 slots: every used entry into the image. Worker thread.
void RunBackup(BackupContext& ctx);
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
std::string PassOutcomeText(const BackupContext& ctx);
