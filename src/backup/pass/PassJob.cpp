#include "backup/pass/PassJob.h"

#include "integrity/ImageHasher.h"

namespace backup {

PassJob::PassJob(PassPlan plan, IPassEvents& events, BackupReport& report,
                 std::atomic<BOOL>& running)
    : plan_(std::move(plan)), sink_(plan_), events_(events), report_(report), running_(running) {}

PassJob::~PassJob() = default;

void PassJob::NoteSignedParts(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::lock_guard<std::mutex> lock(signedMutex_);
    for (const auto& [path, digest] : parts)
        if (!digest.empty())
            signedParts_[path] = digest;
}

std::map<std::string, std::string> PassJob::SignedParts() const {
    std::lock_guard<std::mutex> lock(signedMutex_);
    return signedParts_;
}

void UpdatePassProgress(PassJob& job) {
    const DWORD total = job.plan().totalSize;
    const DWORD done = job.doneSize;
    job.events().Progress(total == 0 ? 0 : static_cast<int>((100.0 / total) * done));
}

}  // namespace backup
