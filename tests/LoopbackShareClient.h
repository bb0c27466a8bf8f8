#pragma once
// A share client without a network for the core's remote-mode tests: each request is queued and
// answered, when the test pumps, by a ShareService over this machine's recordings, with the
// codes a real client posts (progress records while the image is made, 4, 8 for each file
// fetched, 5, the temporary data removed, 6). The download copies the image's listed files into the
// download folder.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backup/server/ShareService.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/WriteTap.h"
#include "ports/CFileShareClient.h"
#include "share/Wait.h"  // tests/share/Wait.h, beside this file

class LoopbackShareClient : public CFileShareClient {
  public:
    explicit LoopbackShareClient(ShareService& service) : service_(service) {}
    ~LoopbackShareClient() override { JoinDownload(); }

    bool InitSock() override { return true; }
    void Connect(const std::string& address, int port, IShareClientReceiver* window) override {
        address_ = address, port_ = port, window_ = window;
        ++connects;
    }
    void ReqClient_LoadIndexData(const std::string& day) override {
        Queue([this, day] {
            const _INDEXREPLY r = service_.IndexReply(day);
            Post(2, &r, sizeof r);
        });
    }
    void GetAddTotalSize(const _BACKUPADDTOTALSIZE& request) override {
        Queue([this, request] {
            _ADDSIZEREPLY r = service_.AddSize(request);
            if (zeroSizes)
                r.nSize = 0;
            Post(3, &r, sizeof r);
        });
    }
    void ReqSetAddBackupDataPath(const _BACKUPMAKEIMAGE& request) override {
        Queue([this, request] {
            std::atomic<bool> cancel{false};
            image_ = service_.MakeImage(
                request,
                [this](const std::string& item, std::uint32_t done, std::uint32_t total) {
                    _DOWNLOADPROGRESS p{};
                    std::snprintf(p.szName, sizeof p.szName, "%s", item.c_str());
                    p.nTotal = total;
                    p.nDone = done;
                    if (window_)
                        window_->PostShareMessage(0xBD2, 0, &p, sizeof p);
                },
                cancel);
            if (!image_.problem.empty()) {
                Post(7, image_.problem.c_str(), image_.problem.size() + 1);
                return;
            }
            Post(4, nullptr, static_cast<unsigned long>(request.nSlot));
        });
    }
    void SetDownloadDir(const std::string& folder) override { folder_ = folder; }
    void SetWriteTap(std::shared_ptr<platform::WriteTap> tap) override { tap_ = std::move(tap); }
    void StartDownload() override {
        Queue([this] {
            if (dropDownloads) {  // the link went down after the image was made
                service_.DeleteTemp(std::string(kNetTempRoot) + "\\" + image_.entry);
                Post(7, "the link was lost", 18);
                return;
            }
            const std::string to = platform::ResolvePath(folder_);
            if (slowDownload) {
                downloader_ = std::thread([this, to, tap = tap_] { WriteOnItsThread(to, tap); });
                return;
            }
            for (const auto& f : image_.files) {
                const std::filesystem::path dest = std::filesystem::path(to) / f.name;
                std::filesystem::create_directories(dest.parent_path());
                // As the real client writes: through the image's hashing.
                platform::ScopedWriteTap scope(tap_.get());
                platform::File in;
                platform::AtomicFile out;
                if (!in.Open(service_.ImageFilePath(image_.entry, f.name), platform::File::kRead) ||
                    !out.Create(dest.string()) || !out.CopyFrom(in) || !out.Commit()) {
                    Post(7, "a file could not be fetched", 28);
                    return;
                }
                Post(8, f.name.c_str(), f.name.size() + 1);
            }
            Post(5, nullptr, 0);
        });
    }
    RemoteImageLacks ImageLacks() const override { return {image_.why, image_.failures}; }
    void ReqTempDataDelete(const std::string& path) override {
        deleted.push_back(path);
        Queue([this, path] {
            service_.DeleteTemp(path);
            Post(6, nullptr, 0);
        });
    }
    void ReqClient_DownloadCancel() override {
        Queue([this] { Post(7, "cancelled", 10); });
    }

    // Runs the queued work on the calling thread (the test's "window" thread) until nothing is
    // left and pred holds, waiting at most timeoutMs for work a worker thread queues.
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
    // Waits for a download running on its own thread (slowDownload).
    void JoinDownload() {
        if (downloader_.joinable())
            downloader_.join();
    }
    std::vector<unsigned long> codes;  // every answer code, in order
    std::vector<std::string> deleted;
    int connects = 0;
    bool zeroSizes = false;
    bool dropDownloads = false;
    // The download runs on a thread of its own, as the real client's does; it posts nothing.
    bool slowDownload = false;
    std::atomic<bool> downloadWriting{false};  // its first file is open
    std::atomic<bool> holdFirstFile{false};    // its first file stays open until the hashing closes
    std::string address_;
    int port_ = 0;

  private:
    void WriteOnItsThread(const std::string& to, std::shared_ptr<platform::WriteTap> tap) {
        platform::ScopedWriteTap scope(tap.get());
        for (const auto& f : image_.files) {
            const std::filesystem::path dest = std::filesystem::path(to) / f.name;
            std::filesystem::create_directories(dest.parent_path());
            platform::File in;
            platform::AtomicFile out;
            if (!in.Open(service_.ImageFilePath(image_.entry, f.name), platform::File::kRead) ||
                !out.Create(dest.string()))
                return;
            downloadWriting = true;
            out.CopyFrom(in);
            // Held until the pass closes its hashing of the link's files, which must then wait
            // for this one.
            auto* gate = dynamic_cast<platform::GatedWriteTap*>(tap.get());
            WaitUntil([&] { return !holdFirstFile || !gate || gate->Closing(); });
            holdFirstFile = false;
            out.Commit();
        }
    }
    void Queue(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(m_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }
    void Post(unsigned long code, const void* record, unsigned long size) {
        codes.push_back(code);
        if (window_)
            window_->PostShareMessage(0x2F69, code, record, size);
    }

    ShareService& service_;
    IShareClientReceiver* window_ = nullptr;
    std::string folder_;
    std::shared_ptr<platform::WriteTap> tap_;
    std::thread downloader_;
    ShareService::Image image_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
};
