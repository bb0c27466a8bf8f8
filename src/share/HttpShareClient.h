#pragma once
// The link to a remote recorder over HTTP (quillon-share), as the core's RemoteRecorder port.
// Requests run in order on one worker thread of the client. A day's index and an entry's size
// are answered there; when the server cannot be asked or answers wrongly, the answer has no
// record and says why. FetchEntry hands its entry's chain to the worker and waits for it: the
// image request, whose build's progress goes out as progress events (KB); the download once the
// server has the first files of the image ready, the rest fetched as the build goes on, with a
// status text for each file and progress events (bytes) every ~250 ms; then the delete of the
// server's temporary image. A cancel, a failure or a refused folder ends the chain there, and the
// server is told to drop its image.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backup/remote/RemoteRecorder.h"
#include "share/ShareReplies.h"
#include "share/TlsTrust.h"

namespace share {

class ShareLink;

class HttpShareClient : public backup::RemoteRecorder {
  public:
    // token: sent as "Authorization: Bearer TOKEN" with every request ("" sends none). tls: how
    // the server is trusted when its address is https:// (TLS off: plain HTTP). clientId: sent
    // with each image request (ClientId.h; "" sends none).
    explicit HttpShareClient(std::string token = "", TlsTrust tls = {}, std::string clientId = "");
    ~HttpShareClient() override;

    // Keeps the address; the connection is made by each request.
    void Connect(const std::string& address, int port) override;
    void DayIndex(const std::string& day,
                  std::function<void(const backup::DayIndexAnswer&)> reply) override;
    void EntrySize(const _BACKUPADDTOTALSIZE& request,
                   std::function<void(const backup::EntrySizeAnswer&)> reply) override;
    backup::FetchResult FetchEntry(const backup::FetchRequest& request,
                                   backup::IFetchEvents& events) override;
    void ForgetReplies() override;
    backup::ClockMeasure MeasureClock() override;

    // The longest the client waits on a server that says it builds the image while its status
    // (item, amounts, listed files) stays the same: then the image fails with "the recorder has
    // been building the image for N min without progress". kDefaultBuildStall unless set.
    static constexpr std::chrono::seconds kDefaultBuildStall{30 * 60};
    void LimitBuildStall(std::chrono::seconds limit) { buildStall_ = limit.count(); }

    // For a front end without a window: whether requests are queued or running, and the last
    // failure's text ("" when the last request went well).
    bool Busy() const;
    std::string LastError() const;

  private:
    void Enqueue(std::function<void(ShareLink&)> run);
    void Run();

    void DoIndex(ShareLink& link, const std::string& day,
                 const std::function<void(const backup::DayIndexAnswer&)>& reply);
    void DoAddSize(ShareLink& link, const _BACKUPADDTOTALSIZE& request,
                   const std::function<void(const backup::EntrySizeAnswer&)>& reply);
    // Calls reply, unless ForgetReplies came after the request (made at epoch).
    template <class Answer>
    void Reply(std::uint64_t epoch, const std::function<void(const Answer&)>& reply,
               const Answer& answer);
    // The chain of a fetch, on the worker: false once it has ended (why_ says why).
    backup::FetchResult DoFetch(ShareLink& link, const backup::FetchRequest& request);
    bool DoImage(ShareLink& link, const _BACKUPMAKEIMAGE& request);
    bool DoDownload(ShareLink& link, const backup::FetchRequest& request);
    // One listed file into root (a drive path ending in '\\'), announced as number of count;
    // "" when it is whole in its place, else why not (kCancelled after a cancel). Called on the
    // threads of DownloadLanes.
    // notAsListed: as DownloadFile tells it.
    std::string FetchOne(ShareLink& link, const std::string& root, const ListedFile& file,
                         std::size_t number, std::size_t count, bool* notAsListed = nullptr);
    // The build's status; nullopt with why when it cannot be had (why "" after a cancel). A
    // link that fails is asked again a few times first.
    std::optional<JobStatus> PollStatus(ShareLink& link, std::string* why);
    // Takes the listing of a status (the whole list, or what changed after the part the client
    // has); why the image will not come when the build failed or was cancelled ("" else).
    std::string TakeStatus(JobStatus& status);
    // Why the build is given up after a status taken ("" while it goes on or has ended): the
    // server building with no change in what it says for longer than buildStall_.
    std::string StallProblem(const JobStatus& status);
    void ForgetList();
    bool DoDelete(ShareLink& link, const std::string& path);
    // Ends the running chain: tells the server to drop the image and keeps the reason; false.
    bool FailChain(ShareLink& link, const std::string& reason);
    void DropServerImage(ShareLink& link);

    // The running fetch's events.
    void Status(const std::string& text);
    void Progress(const std::string& name, long long total, long long done);
    void NoteError(const std::string& text);
    // Waits up to ms, less when a cancel comes.
    void Nap(int ms);

    const std::string token_;
    const TlsTrust tls_;
    const std::string clientId_;
    mutable std::mutex mutex_;
    // Held while a reply is delivered: once ForgetReplies has returned, no reply of an earlier
    // request is (its receiver may be gone right after).
    std::mutex replyMutex_;
    std::uint64_t epoch_ = 0;  // counts ForgetReplies; under replyMutex_
    std::condition_variable wake_;
    std::deque<std::function<void(ShareLink&)>> queue_;
    bool running_ = false;
    bool quit_ = false;
    std::string address_;
    int port_ = 0;
    std::string lastError_;
    RemoteImageLacks lacks_;  // of the image fetched last
    std::atomic<bool> cancel_{false};

    // The image chain, used by the worker alone (the events also by the download's lanes).
    backup::IFetchEvents* events_ = nullptr;
    std::string why_;  // why the chain ended
    std::uint64_t jobId_ = 0;
    std::string entry_;
    std::map<std::string, ListedFile> listed_;  // the image's files as listed so far
    std::vector<ListedFile> fresh_;  // listed, or listed again, since the download took them
    std::uint64_t listNumber_ = 0;   // of the last status taken, 0 for none
    bool building_ = false;          // listed_ may still change
    std::atomic<long long> buildStall_{kDefaultBuildStall.count()};  // seconds
    std::string lastProgress_;                             // what the last status said of the build
    std::chrono::steady_clock::time_point progressSince_;  // when it last changed

    std::thread worker_;
};

}  // namespace share
