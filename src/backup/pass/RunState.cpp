#include "backup/pass/RunState.h"

namespace backup {

PassJob& RunState::Begin(PassPlan plan, IPassEvents& events, CFileShareClient* link) {
    job = std::make_shared<PassJob>(std::move(plan), events, report, running);
    ending.reset();
    job->shareClient = link;
    job->video = video;
    for (std::size_t i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = job->plan().entries[i];
        job->pending[i] = e.bUsed && e.bPending;
    }
    return *job;
}

void RunState::TakeResults() {
    if (!job)
        return;
    doneSize = job->doneSize.load();
    manifestNote = job->manifestNote;
    keyFingerprint = job->keyFingerprint;
}

}  // namespace backup
