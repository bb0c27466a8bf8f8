#include "share/ShareJobs.h"

#include <algorithm>
#include <random>
#include <vector>

namespace share {
namespace {

// Finished jobs kept for a late status or cancel; older ones are forgotten.
constexpr std::size_t kKeptJobs = 32;
// Lines of what an image lacks that a status carries: a whole day of damaged minutes would not
// fit a status a client reads; the count of the rest stands for them.
constexpr std::size_t kLacksShown = 1000;

std::vector<std::string> LacksLines(const std::vector<std::string>& failures) {
    std::vector<std::string> lines(
        failures.begin(),
        failures.begin() + static_cast<std::ptrdiff_t>(std::min(failures.size(), kLacksShown)));
    if (failures.size() > kLacksShown)
        lines.push_back("and " + std::to_string(failures.size() - kLacksShown) +
                        " more places where the recording is damaged");
    return lines;
}

}  // namespace

ShareJobs::~ShareJobs() {
    CancelAll();
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, job] : jobs_)
        if (job->thread.joinable())
            job->thread.join();
}

std::uint64_t ShareJobs::Start(const _BACKUPMAKEIMAGE& request, const std::string& requester,
                               const std::string& client) {
    auto job = std::make_shared<Job>();
    job->request = request;
    job->requester = requester;
    job->client = client;
    // Numbers far apart for each job, so that one job's is never taken for another's.
    std::random_device seed;
    job->listing = ListedFiles((static_cast<std::uint64_t>(seed()) << 24) + 1);
    std::lock_guard<std::mutex> lock(mutex_);
    PruneFinished();
    const std::uint64_t id = nextId_++;
    job->id = id;
    jobs_[id] = job;
    job->thread = std::thread([this, job] { Build(*job); });
    return id;
}

void ShareJobs::Build(Job& job) {
    const auto began = std::chrono::steady_clock::now();
    auto progress = [&](const std::string& item, std::uint32_t doneKB, std::uint32_t totalKB) {
        {
            std::lock_guard<std::mutex> lock(job.m);
            job.status.item = item;
            job.status.doneKB = doneKB;
            job.status.totalKB = totalKB;
        }
        if (observer_)
            observer_(item, job.cancel);
    };
    // Files that are final go out with the status while the build goes on, so that the client
    // fetches them meanwhile.
    auto ready = [&](const std::string& entry, const ShareService::ImageFile& f) {
        std::lock_guard<std::mutex> lock(job.m);
        job.status.entry = entry;
        job.listing.Put({f.name, f.size, f.sha256});
    };
    auto withdrawn = [&](const std::string&, const std::string& name) {
        std::lock_guard<std::mutex> lock(job.m);
        job.listing.Remove(name);
    };
    ShareService::Image image =
        service_.MakeImage(job.request, progress, job.cancel, ready, withdrawn, job.client);
    const bool cancelled = image.cancelled || job.cancel.load();
    if (cancelled)
        RemoveImage(image.entry);
    std::unique_lock<std::mutex> lock(job.m);
    if (cancelled) {
        job.status.entry.clear();
        job.status.state = JobState::kCancelled;
    } else if (!image.problem.empty()) {
        job.status.entry.clear();
        job.status.state = JobState::kFailed;
        job.status.problem = image.problem;
    } else {
        job.status.state = JobState::kDone;
        job.status.entry = image.entry;
        job.status.lacks = LacksLines(image.failures);
        if (!image.failures.empty())
            job.status.incomplete = image.why.empty() ? image.failures.front() : image.why;
        std::vector<ListedFile> files;
        files.reserve(image.files.size());
        for (const auto& f : image.files)
            files.push_back({f.name, f.size, f.sha256});
        job.listing.Replace(files);
    }
    Ended end{job.id, job.requester, image.entry, job.status.state, job.status.problem};
    end.files = image.files.size();
    if (job.status.state == JobState::kDone && !image.failures.empty()) {
        end.lacks = image.failures.front();
        end.lacking = image.failures.size();
    }
    for (const auto& f : image.files)
        end.bytes += static_cast<unsigned long long>(std::max(f.size, 0LL));
    end.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - began);
    job.finished = true;
    job.cv.notify_all();
    lock.unlock();
    // Outside the job's lock: a slow log must not hold up its status.
    if (ended_)
        ended_(end);
}

void ShareJobs::RemoveImage(const std::string& entry) {
    // An entry that is not one plain name cannot be ours to remove.
    if (!entry.empty() && EntryProblem(entry).empty())
        service_.DeleteTemp(std::string(kNetTempRoot) + "\\" + entry);
}

std::optional<JobStatus> ShareJobs::Status(std::uint64_t id, std::optional<std::uint64_t> since) {
    std::shared_ptr<Job> job;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = jobs_.find(id);
        if (it == jobs_.end())
            return std::nullopt;
        job = it->second;
    }
    std::lock_guard<std::mutex> lock(job->m);
    JobStatus status = job->status;
    if (since) {
        status.list = job->listing.last();
        status.from = job->listing.Knows(*since) ? *since : 0;
    }
    // A build that failed or was cancelled has no files to fetch.
    if (status.state == JobState::kBuilding || status.state == JobState::kDone)
        job->listing.Since(status.from, status.files, status.gone);
    return status;
}

bool ShareJobs::Cancel(std::uint64_t id) {
    std::shared_ptr<Job> job;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = jobs_.find(id);
        if (it == jobs_.end())
            return false;
        job = it->second;
    }
    job->cancel = true;
    std::unique_lock<std::mutex> lock(job->m);
    job->cv.wait(lock, [&] { return job->finished; });
    if (job->status.state == JobState::kDone) {
        const std::string entry = job->status.entry;
        job->status.state = JobState::kCancelled;
        lock.unlock();
        RemoveImage(entry);
    }
    return true;
}

void ShareJobs::CancelAll() {
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [id, job] : jobs_)
            ids.push_back(id);
    }
    for (auto id : ids) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = jobs_.find(id);
            if (it == jobs_.end())
                continue;
            job = it->second;
        }
        // Only running builds: a finished image stays for its client to fetch or delete.
        job->cancel = true;
        std::unique_lock<std::mutex> lock(job->m);
        job->cv.wait(lock, [&] { return job->finished; });
    }
}

void ShareJobs::PruneFinished() {
    while (jobs_.size() >= kKeptJobs) {
        auto oldest = jobs_.end();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            std::lock_guard<std::mutex> lock(it->second->m);
            if (it->second->finished) {
                oldest = it;
                break;
            }
        }
        if (oldest == jobs_.end())
            return;
        if (oldest->second->thread.joinable())
            oldest->second->thread.join();
        jobs_.erase(oldest);
    }
}

}  // namespace share
