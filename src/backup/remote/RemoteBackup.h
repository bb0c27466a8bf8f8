#pragma once
// Remote mode: the recordings lie on another recorder and come through the share client. The
// requests this side sends (a day's index, the size of a new entry, one entry's image per pass)
// and the handling of the answers (message 0x2F69) on the user-interface thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/TargetPicker.h"
#include "backup/pass/PassEnd.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/RunState.h"
#include "backup/remote/LinkState.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"
#include "ports/CFileShareClient.h"
#include "records/RemoteRecords.h"

class IShareClientReceiver;

// Connects the share client to the host's address and port, once per address and port: when a
// host record switches the dialog to remote mode, and again before a request when the host
// gave another. False when there is no client or it cannot be used.
bool ConnectShareClient(const backup::HostSettings& host, backup::LinkState& link);
// Where the client's answers go (the dialog's window); set once by the front end.
void SetShareReceiver(backup::LinkState& link, IShareClientReceiver* receiver);

// Remote branch of the day choice: asks for the day's index (answer code 2).
void RequestDayIndex(const backup::HostSettings& host, backup::LinkState& link,
                     const std::string& day);

namespace backup {

// The link's side of the front end: the requests that wait for an answer (a new entry's size)
// and the handling of the share client's answers (message 0x2F69) on the front end's thread. It
// works on the link, the day selection and the schedule (a remote Add ends here), and on the
// run (the entries fetched, a run the link ended); it reads the host's settings, the target and
// the profile, and hands a run's end to the pass end.
class LinkAnswers {
  public:
    struct Schedule {
        ScheduleState& state;
        const CProfileReadWrite& profile;
    };
    struct Front {
        DayChooser& chooser;
        TargetPicker& targets;
        PassEnd& passEnd;
        IOperatorEvents& view;
        OperatorPrompts& prompts;
    };
    LinkAnswers(LinkState& link, const HostSettings& host, DaySelection& day, Schedule schedule,
                RunState& run, const TargetChoice& target, Front front)
        : link_(link),
          host_(host),
          day_(day),
          schedule_(schedule.state),
          profile_(schedule.profile),
          run_(run),
          target_(target),
          chooser_(front.chooser),
          targets_(front.targets),
          passEnd_(front.passEnd),
          view_(front.view),
          prompts_(front.prompts) {}
    LinkAnswers(const LinkAnswers&) = delete;
    LinkAnswers& operator=(const LinkAnswers&) = delete;

    // Remote branch of Add, once the entry's folder and information file are made: asks for
    // the size (answer code 3) and leaves the commands busy until it arrives. Answers as Add.
    CommandResult RequestEntrySize(const std::string& entry, const std::string& start,
                                   const std::string& end);
    // Message 0x2F69: code 2 to 8 from the share client. record and size are the answer's
    // record (copied before the call returns); a value (code 4's slot) comes in size with a
    // null record. wakeWorker signals the worker for the next entry (code 6).
    void OnShareClientMessage(std::uintptr_t code, const void* record, std::size_t size,
                              const std::function<void()>& wakeWorker);

  private:
    std::string Text(const char* key) const;
    void OnIndexReply(const _INDEXREPLY& r);
    void OnSizeReply(const _ADDSIZEREPLY& r);
    void OnDownloadEntry(std::size_t slot, const std::function<void()>& wakeWorker);
    // The entry being fetched is in the download folder, with what its image lacks.
    void OnEntryFetched(const PassJob& job, const RemoteImageLacks& lacks);
    // The link says the run is over. What was fetched is marked as a partial image; the worker
    // writes its manifest between its steps and then the window is told, or the window is told
    // at once when the worker takes no more steps. why: the link's words; failure: what of one
    // entry ended it, when something did (its text is then the words).
    void OnRemoteRunEnded(const std::string& why, const std::function<void()>& wakeWorker,
                          const PassFailure* failure = nullptr);

    LinkState& link_;
    const HostSettings& host_;
    DaySelection& day_;
    ScheduleState& schedule_;
    const CProfileReadWrite& profile_;
    RunState& run_;
    const TargetChoice& target_;
    DayChooser& chooser_;
    TargetPicker& targets_;
    PassEnd& passEnd_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
};

}  // namespace backup
