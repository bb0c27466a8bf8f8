#pragma once
// The link to a remote recorder as the core drives it: its port, which the share adapter
// implements. A day's index and a new entry's size are asked for and answered once, later, on
// the adapter's thread; an entry's image is fetched by one blocking call on the pass's worker
// thread, which returns once the image is in its folder (and the recorder's temporary copy is
// gone) or the fetch has ended without it.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "records/RemoteRecords.h"

namespace platform {
class WriteTap;
}

// What an image fetched over the link lacks because the remote recording lacks it (a damaged
// minute): the image holds the rest of its entry.
struct RemoteImageLacks {
    std::string why;                    // the entry's first problem, in short
    std::vector<std::string> failures;  // each, as the recorder names it, without the entry
};

namespace backup {

// Why a fetch ended when it was cancelled.
constexpr const char* kFetchCancelled = "cancelled";

// A day's index, or why the recorder could not be asked (the reply is then none).
struct DayIndexAnswer {
    std::optional<_INDEXREPLY> index;
    std::string why;
};

// The add-size reply of a new entry, or why the recorder could not be asked.
struct EntrySizeAnswer {
    std::optional<_ADDSIZEREPLY> size;
    std::string why;
};

// The cancel of a pass's fetches, set on the owner's thread: a fetch running when it comes, and
// every fetch begun after it, ends.
class FetchCancel {
  public:
    void Cancel() {
        std::lock_guard<std::mutex> lock(m_);
        cancelled_ = true;
        if (wake_)
            wake_();
    }
    bool cancelled() const {
        std::lock_guard<std::mutex> lock(m_);
        return cancelled_;
    }
    // The adapter's: wake runs on the cancelling thread when the cancel comes, at once when it
    // came already; null lets go of it (no wake runs once this returns).
    void OnCancel(std::function<void()> wake) {
        std::lock_guard<std::mutex> lock(m_);
        wake_ = std::move(wake);
        if (wake_ && cancelled_)
            wake_();
    }

  private:
    mutable std::mutex m_;
    bool cancelled_ = false;
    std::function<void()> wake_;
};

// What a fetch tells as it goes, on the adapter's threads, only while FetchEntry runs.
class IFetchEvents {
  public:
    virtual ~IFetchEvents() = default;
    // A progress or problem text.
    virtual void Status(const std::string& text) = 0;
    // How far the item is: KB while the recorder builds the image, bytes while it is downloaded.
    virtual void Progress(const std::string& item, std::uint32_t total, std::uint32_t done) = 0;
    // The image of the request's slot is ready and its download into the folder begins.
    virtual void DownloadBegins(int slot) = 0;
    // The entry's files are all in the folder; the recorder's copy is removed next.
    virtual void Downloaded() = 0;
};

struct FetchRequest {
    _BACKUPMAKEIMAGE image{};  // the entry the recorder builds the image of
    std::string folder;        // the download folder, a drive path ending in "\"
    std::string tempData;      // the recorder's temporary data of the entry, removed once fetched
    // Called once before anything is written into the folder: whether it may be, and why not
    // (the fetch then ends with that reason).
    std::function<platform::Outcome()> prepareFolder;
    // What sees the bytes written (the image's hashing); null for nothing.
    std::shared_ptr<platform::WriteTap> tap;
    std::shared_ptr<FetchCancel> cancel;  // never null
};

struct FetchResult {
    bool fetched = false;
    RemoteImageLacks lacks;  // when fetched
    std::string why;         // when not: cancelled, the link's reason, or the folder's
};

// The recorder's clock against this machine's.
struct ClockMeasure {
    bool measured = false;
    double offsetSeconds = 0;       // the recorder's clock less this machine's
    double uncertaintySeconds = 0;  // the true offset lies within this of offsetSeconds
    std::string why;                // when not measured
};

class RemoteRecorder {
  public:
    virtual ~RemoteRecorder() = default;
    // The recorder the requests go to from now on.
    virtual void Connect(const std::string& address, int port) = 0;
    // reply is called once, on the adapter's thread.
    virtual void DayIndex(const std::string& day,
                          std::function<void(const DayIndexAnswer&)> reply) = 0;
    virtual void EntrySize(const _BACKUPADDTOTALSIZE& request,
                           std::function<void(const EntrySizeAnswer&)> reply) = 0;
    // The entry's image asked for, downloaded into the request's folder, and the recorder's
    // temporary data removed; on the caller's thread.
    virtual FetchResult FetchEntry(const FetchRequest& request, IFetchEvents& events) = 0;
    // No reply of a request made before is called once this returns.
    virtual void ForgetReplies() = 0;
    // Measured over the link, on the caller's thread; a recorder that cannot tell its time is
    // not measured.
    virtual ClockMeasure MeasureClock() {
        return {false, 0, 0, "the recorder does not tell its time"};
    }
};

}  // namespace backup
