#pragma once
// Files of an image fetched side by side on a few threads, each with a link of its own: a
// file's bytes cost the client a write and two hashes (its check against the listing and the
// image's manifest), more than one thread keeps up with. Each thread writes through the write
// tap given, as the thread that starts the lanes does.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "share/ShareReplies.h"

namespace platform {
class WriteTap;
}

namespace share {

class ShareLink;

class DownloadLanes {
  public:
    // One file over a lane's link: "" when it is whole in its place, else why not.
    using Fetch = std::function<std::string(ShareLink& link, const ListedFile& file,
                                            std::size_t number, std::size_t count)>;
    DownloadLanes(int lanes, const ShareLink& like, platform::WriteTap* tap, Fetch fetch);
    // Waits for the files being fetched; the rest are dropped.
    ~DownloadLanes();
    DownloadLanes(const DownloadLanes&) = delete;
    DownloadLanes& operator=(const DownloadLanes&) = delete;

    // Queues a file, announced as number of count.
    void Add(const ListedFile& file, std::size_t number, std::size_t count);
    // The first failure so far ("" while none).
    std::string Problem();
    // Waits until every queued file is fetched or one failed; the first failure, "" if none.
    std::string Wait();
    // Drops the files not begun and waits for those being fetched; the first failure, "" if
    // none. For a download that cannot end well any more. dropped runs once nothing queued can
    // start any more, before the wait.
    std::string Abandon(const std::function<void()>& dropped = nullptr);

  private:
    struct Item {
        ListedFile file;
        std::size_t number, count;
    };
    void Run(ShareLink& link);

    platform::WriteTap* tap_;
    Fetch fetch_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> todo_;
    int busy_ = 0;
    bool quit_ = false;
    std::string problem_;
    std::vector<std::unique_ptr<ShareLink>> links_;
    std::vector<std::thread> threads_;
};

}  // namespace share
