#pragma once
// The link to a remote recorder over HTTP (quillon-share). Requests return at once and run in
// order on one worker thread of the client; the answers reach the receiver on that thread:
//
//   PostShareMessage(0x2F69, code, record, size)
//     2, 3      record: the index or add-size reply, size its length. When the server cannot
//               be asked or answers wrongly, code 8 with the reason comes first and then the
//               code with record null and size 0.
//     4         record null, size: the slot index of the image request (the value the dialog
//               takes from lParam). Sent once the server has the first files of the image
//               ready: the download fetches the rest as the build goes on.
//     5, 6      record null, size 0.
//     7, 8      record: a zero-terminated text (7: why the remote backup ended, "cancelled"
//               after ReqClient_DownloadCancel; 8: progress or a problem), size: its length
//               with the terminating zero.
//   PostShareMessage(0xBD2, 0, &_DOWNLOADPROGRESS, 1040) while the server builds the image (KB)
//     and while it is downloaded (bytes), for each item and every ~250 ms.
//
// Records and texts are valid only during the call.
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

#include "ports/CFileShareClient.h"
#include "share/ShareReplies.h"
#include "share/TlsTrust.h"

namespace share {

class ShareLink;

class HttpShareClient : public CFileShareClient {
  public:
    // token: sent as "Authorization: Bearer TOKEN" with every request ("" sends none). tls: how
    // the server is trusted when its address is https:// (TLS off: plain HTTP). clientId: sent
    // with each image request (ClientId.h; "" sends none).
    explicit HttpShareClient(std::string token = "", TlsTrust tls = {}, std::string clientId = "");
    ~HttpShareClient() override;

    bool InitSock() override { return true; }
    // Keeps the address; the connection is made by each request. A null window detaches the
    // receiver: when Connect returns, no answer is being delivered to the old one.
    void Connect(const std::string& address, int port, IShareClientReceiver* window) override;
    void ReqClient_LoadIndexData(const std::string& day) override;
    void GetAddTotalSize(const _BACKUPADDTOTALSIZE& request) override;
    void ReqSetAddBackupDataPath(const _BACKUPMAKEIMAGE& request) override;
    void SetDownloadDir(const std::string& folder) override;
    void SetWriteTap(std::shared_ptr<platform::WriteTap> tap) override;
    void StartDownload() override;
    RemoteImageLacks ImageLacks() const override;
    void ReqTempDataDelete(const std::string& path) override;
    void ReqClient_DownloadCancel() override;

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
    struct Task {
        bool chain;  // part of an image's chain, dropped by a cancel
        std::function<void(ShareLink&)> run;
    };
    void Enqueue(bool chain, std::function<void(ShareLink&)> run);
    void Run();

    void DoIndex(ShareLink& link, const std::string& day);
    void DoAddSize(ShareLink& link, const _BACKUPADDTOTALSIZE& request);
    void DoImage(ShareLink& link, const _BACKUPMAKEIMAGE& request);
    void DoDownload(ShareLink& link, const std::string& folder);
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
    void DoDelete(ShareLink& link, const std::string& path);
    void DoCancel(ShareLink& link);
    // Ends the running chain: tells the server to drop the image and posts code 7.
    void FailChain(ShareLink& link, const std::string& reason);
    void DropServerImage(ShareLink& link);

    void Post(unsigned long code, const void* record = nullptr, unsigned long size = 0);
    void PostText(unsigned long code, const std::string& text);
    // A 0xBD2 progress record: the item, and how much of how much is done.
    void PostProgress(const std::string& name, long long total, long long done);
    void NoteError(const std::string& text);
    // Waits up to ms, less when a cancel comes.
    void Nap(int ms);

    const std::string token_;
    const TlsTrust tls_;
    const std::string clientId_;
    mutable std::mutex mutex_;
    // Held while an answer is delivered: once Connect has changed the receiver, the old one
    // gets nothing more (a window may be gone right after).
    std::mutex postMutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    bool running_ = false;
    bool quit_ = false;
    std::string address_;
    int port_ = 0;
    IShareClientReceiver* receiver_ = nullptr;
    std::string downloadDir_;
    std::shared_ptr<platform::WriteTap> tap_;  // for the downloads started next
    std::string lastError_;
    RemoteImageLacks lacks_;  // of the image fetched last
    std::atomic<bool> cancel_{false};

    // The image chain, used by the worker alone.
    std::uint64_t jobId_ = 0;
    std::int32_t slot_ = 0;
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
