#include "backup/pass/PassRun.h"

#include <stdexcept>

namespace backup {

CommandResult PassRun::Start(const StartOptions& options, ports::IEntryVideo* video) {
    if (!host_.localMode && link_.client) {
        // The pass's end works on what the answers work on, which are served on one thread.
        worker_.SetOwnerThread(
            [this](const std::function<void()>& call) { inbox_.RunBetweenAnswers(call); });
        inbox_.SetWorkerWake([this] { worker_.Signal(); });
    }
    run_.video = video;
    const CommandResult started = starter_.OnOK(options);
    if (started.refused()) {
        inbox_.SetWorkerWake(nullptr);  // no pass of this run to wake
        return started;
    }
    // Only a pass that starts has a worker; the answers that wake it are served on this thread,
    // after this.
    worker_.StartMakeFileThread();
    worker_.Start(run_.job);
    return started;
}

void PassRun::ServeRemoteToEnd(const std::function<void()>& between) {
    while (Running()) {
        inbox_.Serve(100);
        if (between)
            between();
    }
    if (stopped_ && !inbox_.ended())
        inbox_.ServeUntil(LinkInbox::Awaited::kRunEnded, 30000);
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
    inbox_.SetWorkerWake(nullptr);
    PassOutcome outcome;
    outcome.report = run_.report;
    outcome.doneSize = run_.doneSize;
    outcome.manifestNote = run_.manifestNote;
    outcome.keyFingerprint = run_.keyFingerprint;
    outcome.ending = run_.ending;
    outcome.stopped = stopped_;
    outcome.linkWhy = inbox_.endedWhy();
    return outcome;
}

}  // namespace backup
