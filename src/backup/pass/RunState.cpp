#include "backup/pass/RunState.h"

#include "backup/remote/LinkInbox.h"

namespace backup {

PassJob& RunState::Begin(PassPlan plan, IPassEvents& events, const LinkState& link) {
    job = std::make_shared<PassJob>(std::move(plan), events, report, running);
    ending.reset();
    job->recorder = link.client;
    job->fetchEvents = link.inbox;
    job->video = video;
    job->exhibitPdf = exhibitPdf;
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
