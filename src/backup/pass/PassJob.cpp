#include "backup/pass/PassJob.h"

#include "integrity/ImageHasher.h"

namespace backup {

PassJob::PassJob(PassPlan plan, IPassEvents& events, BackupReport& report,
                 std::atomic<BOOL>& running)
    : plan_(std::move(plan)), sink_(plan_), events_(events), report_(report), running_(running) {}

PassJob::~PassJob() = default;

bool PassJob::EndSteps() {
    std::lock_guard<std::mutex> lock(endMutex_);
    stepsEnded_ = true;
    return linkEnded_;
}

bool PassJob::EndByLink(const std::string& why) {
    std::lock_guard<std::mutex> lock(endMutex_);
    if (!linkEnded_) {
        linkEnded_ = true;
        linkWhy_ = why;
    }
    return stepsEnded_;
}

bool PassJob::stepsEnded() const {
    std::lock_guard<std::mutex> lock(endMutex_);
    return stepsEnded_;
}

std::string PassJob::linkEndedWhy() const {
    std::lock_guard<std::mutex> lock(endMutex_);
    return linkWhy_;
}

void UpdatePassProgress(PassJob& job) {
    const DWORD total = job.plan().totalSize;
    const DWORD done = job.doneSize;
    job.events().Progress(total == 0 ? 0 : static_cast<int>((100.0 / total) * done));
}

}  // namespace backup
