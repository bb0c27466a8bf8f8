#include "backup/pass/PassRun.h"

#include <chrono>
#include <stdexcept>

namespace backup {

CommandResult PassRun::Start(const StartOptions& options, ports::IEntryVideo* video) {
    if (!host_.localMode && link_.client) {
        // The pass's end works on what the answers work on, and comes after its texts: it is
        // served on the same thread, in its turn.
        endServed_ = true;
        worker_.SetOwnerThread([this](const std::function<void()>& call) {
            inbox_.RunInTurn([this, &call] {
                call();
                endTold_ = true;
            });
        });
    } else if (!ownOwner_) {
        // The end runs on the worker; ServeToEnd waits for it.
        worker_.SetOwnerThread([this](const std::function<void()>& call) {
            call();
            {
                std::lock_guard<std::mutex> lock(endMutex_);
                ended_ = true;
            }
            endCv_.notify_all();
        });
    }
    run_.video = video;
    const CommandResult started = starter_.OnOK(options);
    if (started.refused()) {
        endServed_ = false;
        return started;
    }
    worker_.StartMakeFileThread();
    worker_.Start(run_.job);
    return started;
}

void PassRun::ServeToEnd(const std::atomic<bool>& stop) {
    if (endServed_) {
        while (Running() || !endTold_) {
            inbox_.Serve(100);
            if (stop)
                Stop();
        }
        return;
    }
    std::unique_lock<std::mutex> lock(endMutex_);
    while (!endCv_.wait_for(lock, std::chrono::milliseconds(100), [this] { return ended_; })) {
        lock.unlock();
        if (stop)
            Stop();
        lock.lock();
    }
}

void PassRun::Stop() {
    if (stopped_ || !Running())
        return;
    stopped_ = true;
    StopRunningBackup(run_, host_, link_);
}

PassOutcome PassRun::Finish() {
    if (finished_)
        throw std::logic_error("a pass's outcome is handed over once");
    finished_ = true;
    worker_.StopMakeFileThread();
    PassOutcome outcome;
    outcome.report = run_.report;
    outcome.doneSize = run_.doneSize;
    outcome.manifestNote = run_.manifestNote;
    outcome.keyFingerprint = run_.keyFingerprint;
    outcome.ending = run_.ending;
    outcome.stopped = stopped_;
    if (run_.job)
        outcome.linkWhy = run_.job->linkWhy;
    return outcome;
}

}  // namespace backup
