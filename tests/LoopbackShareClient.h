#pragma once
// A remote recorder without a network for the core's remote-mode tests: a day's index and an
// entry's size are answered, when the test pumps, by a ShareService over this machine's
// recordings; an entry is fetched on the caller's thread as the real port fetches it (progress
// while the image is made, a text for each file fetched, the files copied into the download
// folder through the image's hashing, the temporary data removed).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "backup/remote/RemoteRecorder.h"
#include "backup/server/ShareService.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/WriteTap.h"

class LoopbackShareClient : public backup::RemoteRecorder {
  public:
    explicit LoopbackShareClient(ShareService& service) : service_(service) {}

    void Connect(const std::string&, int) override { ++connects; }
    void DayIndex(const std::string& day,
                  std::function<void(const backup::DayIndexAnswer&)> reply) override {
        Queue([this, day, reply] {
            backup::DayIndexAnswer a{std::nullopt, trouble};
            if (trouble.empty())
                a.index = service_.IndexReply(day);
            reply(a);
        });
    }
    void EntrySize(const _BACKUPADDTOTALSIZE& request,
                   std::function<void(const backup::EntrySizeAnswer&)> reply) override {
        Queue([this, request, reply] {
            backup::EntrySizeAnswer a{std::nullopt, trouble};
            if (trouble.empty()) {
                a.size = service_.AddSize(request);
                if (zeroSizes)
                    a.size->nSize = 0;
            }
            reply(a);
        });
    }
    backup::FetchResult FetchEntry(const backup::FetchRequest& request,
                                   backup::IFetchEvents& events) override {
        Step("image");
        std::atomic<bool> cancel{false};
        const ShareService::Image image = service_.MakeImage(
            request.image,
            [&](const std::string& item, std::uint32_t done, std::uint32_t total) {
                events.Progress(item, total, done);
            },
            cancel);
        if (!image.problem.empty())
            return Ended(image.problem);
        if (dropDownloads) {  // the link went down after the image was made
            service_.DeleteTemp(request.tempData);
            return Ended("the link was lost");
        }
        if (beforeDownload)
            beforeDownload();
        if (const platform::Outcome may = request.prepareFolder(); !may)
            return Ended(may.error().Said());
        events.DownloadBegins(request.image.nSlot);
        Step("download");
        const std::string to = platform::ResolvePath(request.folder);
        for (const auto& f : image.files) {
            if (request.cancel->cancelled())
                return Ended(backup::kFetchCancelled);
            // As the real port writes: through the image's hashing.
            platform::ScopedWriteTap scope(request.tap.get());
            platform::File in;
            platform::AtomicFile out;
            if (!OpenCopy(to, image, f.name, in, out) || !out.CopyFrom(in) || !out.Commit())
                return Ended("a file could not be fetched");
            events.Status(f.name);
            Step("file");
        }
        events.Downloaded();
        deleted.push_back(request.tempData);
        service_.DeleteTemp(request.tempData);
        Step("delete");
        return {true, {image.why, image.failures}, {}};
    }
    void ForgetReplies() override {
        std::lock_guard<std::mutex> lock(m_);
        jobs_.clear();
    }

    // Runs the queued answers on the calling thread until nothing is left and pred holds,
    // waiting at most timeoutMs for answers another thread queues.
    bool Pump(const std::function<bool()>& pred, int timeoutMs = 20000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_);
                if (jobs_.empty() && pred())
                    return true;
                // Short waits: the condition may be changed by a thread that does not notify.
                cv_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !jobs_.empty(); });
                if (jobs_.empty()) {
                    if (std::chrono::steady_clock::now() > until)
                        return pred();
                    continue;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }
    // What went over the link, in order: "image", "download", "file" for each file, "delete".
    std::vector<std::string> Steps() {
        std::lock_guard<std::mutex> lock(m_);
        return steps_;
    }
    void ClearSteps() {
        std::lock_guard<std::mutex> lock(m_);
        steps_.clear();
    }
    backup::ClockMeasure MeasureClock() override {
        ++clockMeasures;
        return clock;
    }
    std::vector<std::string> deleted;
    int connects = 0;
    // What the recorder's clock measures, and how many times it was measured.
    backup::ClockMeasure clock{false, 0, 0, "the loopback does not tell its time"};
    std::atomic<int> clockMeasures{0};
    bool zeroSizes = false;
    bool dropDownloads = false;
    std::string trouble;  // why the index and the size cannot be had ("" when they can)
    // Runs on the fetching thread once the image is made, before the folder is looked at again.
    std::function<void()> beforeDownload;

  private:
    static backup::FetchResult Ended(const std::string& why) { return {false, {}, why}; }
    void Step(const std::string& what) {
        std::lock_guard<std::mutex> lock(m_);
        steps_.push_back(what);
    }
    // Opens an image's file and its copy below the download folder to.
    bool OpenCopy(const std::string& to, const ShareService::Image& image, const std::string& name,
                  platform::File& in, platform::AtomicFile& out) {
        const std::filesystem::path dest = std::filesystem::path(to) / name;
        std::filesystem::create_directories(dest.parent_path());
        return in.Open(service_.ImageFilePath(image.entry, name), platform::File::kRead) &&
               out.Create(dest.string());
    }
    void Queue(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(m_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }

    ShareService& service_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::string> steps_;
};
