#include "backup/pass/PassJob.h"

#include "integrity/ImageHasher.h"

namespace backup {

PassJob::PassJob(PassPlan plan, IPassEvents& events, BackupReport& report,
                 std::atomic<BOOL>& running)
    : plan_(std::move(plan)), sink_(plan_), events_(events), report_(report), running_(running) {}

PassJob::~PassJob() = default;

void UpdatePassProgress(PassJob& job) {
    const DWORD total = job.plan().totalSize;
    const DWORD done = job.doneSize;
    job.events().Progress(total == 0 ? 0 : static_cast<int>((100.0 / total) * done));
}

}  // namespace backup
