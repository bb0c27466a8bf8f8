#pragma once
// One running backup pass: its plan, which it never changes, and what it writes as it goes (the
// report, the done size, the manifest's hasher and outcome). Every function of the pass takes
// the job, never the front end's context; what the operator must see goes out as events.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "backup/exhibit/ExhibitFacts.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/ImageSink.h"
#include "backup/pass/PassPlan.h"
#include "backup/remote/RemoteRecorder.h"
#include "ports/EntryVideo.h"
#include "ports/ExhibitPdf.h"

namespace integrity {
class ImageHasher;
}
namespace platform {
class GatedWriteTap;
}

namespace backup {

// What a pass tells its front end as it goes. Called on the worker's thread.
class IPassEvents {
  public:
    virtual ~IPassEvents() = default;
    // The image is being built: progress from 0, a busy pointer.
    virtual void Started() = 0;
    virtual void Status(const std::string& text) = 0;
    virtual void Progress(int percent) = 0;
    // The building is over; whole when it was not stopped (the progress then at its end).
    virtual void Built(bool whole) = 0;
    // Something the operator must be told at once.
    virtual void Problem(const std::string& text, const std::string& caption) = 0;
};

class PassJob {
  public:
    // report and running are shared with the front end: it reads the first once the pass has
    // ended and clears the second to stop the pass at its next check.
    PassJob(PassPlan plan, IPassEvents& events, BackupReport& report, std::atomic<BOOL>& running);
    ~PassJob();
    PassJob(const PassJob&) = delete;
    PassJob& operator=(const PassJob&) = delete;

    const PassPlan& plan() const { return plan_; }
    // Where the image goes; the pass's own while it runs.
    ImageSink& sink() { return sink_; }
    const ImageSink& sink() const { return sink_; }
    IPassEvents& events() { return events_; }
    BackupReport& report() { return report_; }
    const BackupReport& report() const { return report_; }
    bool running() const { return running_ != 0; }
    // The pass can go no further (its target is lost).
    void Stop() { running_ = 0; }

    std::atomic<DWORD> doneSize{0};                  // KB written so far
    std::shared_ptr<integrity::ImageHasher> hasher;  // while the image is hashed
    // The hasher as the link's download thread sees it: closed before the hasher ends.
    std::shared_ptr<platform::GatedWriteTap> linkTap;
    std::string manifestNote;    // what the manifest holds, or why it is missing
    std::string keyFingerprint;  // of the key that signed it; "" when not signed

    // The slots the pass came to (as the schedule marks them made).
    std::array<bool, kScheduleSlots> made{};

    // What makes an entry's MP4 files, when the plan asks for them.
    ports::IEntryVideo* video = nullptr;
    // What sets the exhibit report as a PDF; null: the report is report.json alone.
    ports::IExhibitPdf* exhibitPdf = nullptr;

    // A remote pass: the port that fetches its entries and where the fetches tell how they go
    // (none: nowhere), whether it could be connected, and the cancel of its fetches (the
    // front end's stop).
    RemoteRecorder* recorder = nullptr;
    IFetchEvents* fetchEvents = nullptr;
    bool linked = false;
    const std::shared_ptr<FetchCancel> fetchCancel = std::make_shared<FetchCancel>();
    // Why the remote recorder ended the run ("" when it did not), once the pass has ended.
    std::string linkWhy;

    // The recorder's clock, measured once for the report and the MP4 files alike: see
    // exhibit::PassClock, which alone sets it.
    std::once_flag clockMeasured;
    exhibit::ClockCheck clock;

    // Of the MP4 files made (host paths), the digest the first signature of each signs, for the
    // report; entries may be made on several threads.
    void NoteSignedParts(const std::vector<std::pair<std::string, std::string>>& parts);
    std::map<std::string, std::string> SignedParts() const;

  private:
    const PassPlan plan_;
    ImageSink sink_;
    IPassEvents& events_;
    BackupReport& report_;
    std::atomic<BOOL>& running_;
    mutable std::mutex signedMutex_;
    std::map<std::string, std::string> signedParts_;
};

// The progress from the done size and the plan's total: (100.0 / total) * done, truncated; 0
// when the total is 0.
void UpdatePassProgress(PassJob& job);

}  // namespace backup
