#include "backup/PassRun.h"

#include <stdexcept>

namespace backup {

CommandResult PassRun::Start(const StartOptions& options, ports::IEntryVideo* video) {
    worker_.StartMakeFileThread();
    run_.video = video;
    return starter_.OnOK(worker_, options);
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
    return outcome;
}

}  // namespace backup
