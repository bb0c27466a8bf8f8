#pragma once
// The server's image builds: each runs ShareService::MakeImage on a thread of its own while the
// client polls its status, which lists the files that are ready before the build has ended. A
// cancelled build, or a finished one cancelled later, leaves no temporary data behind.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "backup/server/ShareService.h"
#include "share/ListedFiles.h"
#include "share/ShareReplies.h"

namespace share {

class ShareJobs {
  public:
    // Sees every file a build makes, on the build's thread, with the build's cancel flag; the
    // build goes on when it returns.
    using Observer = std::function<void(const std::string& item, const std::atomic<bool>& cancel)>;
    // How a build ended, for the server's log.
    struct Ended {
        std::uint64_t id = 0;
        std::string requester;  // the client's address
        std::string entry;      // "" when the request named no entry the server could build
        JobState state = JobState::kDone;
        std::string problem;  // why it failed
        // What a built image lacks because the recording does: the first, and how many.
        std::string lacks;
        std::size_t lacking = 0;
        std::size_t files = 0;
        unsigned long long bytes = 0;
        std::chrono::milliseconds took{0};
    };
    // Told of every build's end, on the build's thread.
    using EndObserver = std::function<void(const Ended&)>;

    explicit ShareJobs(ShareService& service, Observer observer = nullptr,
                       EndObserver ended = nullptr)
        : service_(service), observer_(std::move(observer)), ended_(std::move(ended)) {}
    // Cancels every build and waits for them.
    ~ShareJobs();
    ShareJobs(const ShareJobs&) = delete;
    ShareJobs& operator=(const ShareJobs&) = delete;

    // Starts a build for the client at requester, which goes by client (its id, or ""); the
    // job's id.
    std::uint64_t Start(const _BACKUPMAKEIMAGE& request, const std::string& requester = "",
                        const std::string& client = "");
    // The job's status with its whole list; with `since`, also with the listing's numbers, and
    // only what changed after since when since is one of them (ShareReplies.h).
    std::optional<JobStatus> Status(std::uint64_t id,
                                    std::optional<std::uint64_t> since = std::nullopt);
    // Stops the build, waits until it has stopped and removes its temporary image. False when
    // there is no such job.
    bool Cancel(std::uint64_t id);
    void CancelAll();

  private:
    struct Job {
        _BACKUPMAKEIMAGE request{};
        std::uint64_t id = 0;
        std::string requester;
        std::string client;
        std::atomic<bool> cancel{false};
        std::mutex m;
        std::condition_variable cv;
        JobStatus status;  // without its files: those are in listing
        ListedFiles listing;
        bool finished = false;
        std::thread thread;
    };
    void Build(Job& job);
    void RemoveImage(const std::string& entry);
    void PruneFinished();  // with mutex_ held

    ShareService& service_;
    Observer observer_;
    EndObserver ended_;
    std::mutex mutex_;
    std::map<std::uint64_t, std::shared_ptr<Job>> jobs_;
    std::uint64_t nextId_ = 1;
};

}  // namespace share
