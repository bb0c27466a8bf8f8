#include "share/DownloadLanes.h"

#include "platform/WriteTap.h"
#include "share/ShareLink.h"

namespace share {

DownloadLanes::DownloadLanes(int lanes, const ShareLink& like, platform::WriteTap* tap, Fetch fetch)
    : tap_(tap), fetch_(std::move(fetch)) {
    for (int i = 0; i < lanes; ++i) {
        links_.push_back(like.Another());
        threads_.emplace_back([this, link = links_.back().get()] { Run(*link); });
    }
}

DownloadLanes::~DownloadLanes() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        todo_.clear();
    }
    changed_.notify_all();
    for (auto& t : threads_)
        t.join();
}

void DownloadLanes::Add(const ListedFile& file, std::size_t number, std::size_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        todo_.push_back({file, number, count});
    }
    changed_.notify_all();
}

std::string DownloadLanes::Problem() {
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

std::string DownloadLanes::Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !problem_.empty() || (todo_.empty() && busy_ == 0); });
    if (!problem_.empty()) {
        // What is not begun is not fetched; what is begun ends by itself.
        todo_.clear();
        changed_.wait(lock, [&] { return busy_ == 0; });
    }
    return problem_;
}

std::string DownloadLanes::Abandon(const std::function<void()>& dropped) {
    std::unique_lock<std::mutex> lock(mutex_);
    todo_.clear();
    if (dropped) {
        lock.unlock();
        dropped();
        lock.lock();
    }
    changed_.wait(lock, [&] { return busy_ == 0; });
    return problem_;
}

void DownloadLanes::Run(ShareLink& link) {
    platform::ScopedWriteTap scope(tap_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return quit_ || (!todo_.empty() && problem_.empty()); });
        if (quit_)
            return;
        const Item item = std::move(todo_.front());
        todo_.pop_front();
        ++busy_;
        lock.unlock();
        const std::string problem = fetch_(link, item.file, item.number, item.count);
        lock.lock();
        --busy_;
        if (!problem.empty() && problem_.empty())
            problem_ = problem;
        changed_.notify_all();
    }
}

}  // namespace share
