#pragma once
// A pass a front end started, held until it has ended: the worker that runs it, the one stop,
// and what the pass left, handed over once as a value of the front end's own. A front end
// without a window starts it, runs it to its end (ServeToEnd, or its own events while Running())
// and reads the outcome; it never touches the run's state nor the link's answers.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "backup/HostSettings.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/BackupWorker.h"
#include "backup/pass/PassEnding.h"
#include "backup/pass/RunState.h"
#include "backup/remote/LinkInbox.h"
#include "backup/remote/LinkState.h"
#include "ports/EntryVideo.h"

namespace backup {

struct PassOutcome {
    BackupReport report;
    DWORD doneSize = 0;          // KB written of the plan
    std::string manifestNote;    // what the manifest holds, or why it is missing
    std::string keyFingerprint;  // of the key that signed it; "" when not signed
    // How its source said it ended.
    std::optional<PassEnding> ending;
    bool stopped = false;  // the front end stopped it
    std::string linkWhy;   // why a remote recorder ended the run ("" when it did not)

    // A run over the link that fetched every entry (what each holds is in the report).
    bool Fetched() const { return ending && ending->link == PassEnding::Link::kFetched; }
};

class PassRun {
  public:
    PassRun(RunState& run, IPassEndings& endings, const HostSettings& host, LinkState& link,
            LinkInbox& inbox, PassStarter& starter)
        : run_(run),
          host_(host),
          link_(link),
          inbox_(inbox),
          starter_(starter),
          worker_(run, endings) {}
    PassRun(const PassRun&) = delete;
    PassRun& operator=(const PassRun&) = delete;

    // The worker's thread, then the pass as OK starts it, its MP4 files made by video (null:
    // none). Refused when the start's checks refused (their text was shown).
    CommandResult Start(const StartOptions& options, ports::IEntryVideo* video);
    // Where the worker tells the pass's end (see BackupWorker::SetOwnerThread); before Start.
    void SetOwnerThread(BackupWorker::OwnerThread run) {
        ownOwner_ = true;
        worker_.SetOwnerThread(std::move(run));
    }
    // True until the pass has ended.
    bool Running() const { return run_.running != 0; }
    // The pass run to its end on the calling thread, for a front end without an event loop that
    // set no owner thread: a remote recorder's texts and progress are served here, then its end;
    // Stop is asked once stop is set (looked at after each wait of at most 100 ms). A stopped
    // remote run is over once its fetch has ended.
    void ServeToEnd(const std::atomic<bool>& stop);
    // Stops the pass at its next check, and a remote download at once; later calls do nothing.
    void Stop();
    // Whether Stop stopped it while it ran.
    bool stopped() const { return stopped_; }
    // Ends the worker's thread and hands over what the pass left. Once: the outcome is the
    // caller's from then on.
    PassOutcome Finish();

  private:
    RunState& run_;
    const HostSettings& host_;
    LinkState& link_;
    LinkInbox& inbox_;
    PassStarter& starter_;
    BackupWorker worker_;
    bool stopped_ = false;
    bool finished_ = false;
    bool endServed_ = false;  // the end of a remote pass is told through the inbox ...
    bool endTold_ = false;    // ... and was, on the thread that serves it
    bool ownOwner_ = false;   // the front end tells the end on its own thread
    std::mutex endMutex_;
    std::condition_variable endCv_;
    bool ended_ = false;  // the end of a pass without an owner thread was told, on the worker
};

}  // namespace backup
