#pragma once
// Remote mode: the recordings lie on another recorder and come through its port. The requests
// this side sends from the front end's thread (a day's index, the size of a new entry) and the
// handling of the answers there; the entries of a pass are fetched by LinkSource on the worker.
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
#include "backup/remote/LinkState.h"
#include "backup/remote/RemoteRecorder.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"
#include "records/RemoteRecords.h"

// Connects the recorder's port to the host's address and port, once per address and port: when
// a host record switches the dialog to remote mode, and again before a request when the host
// gave another. False when there is no port.
bool ConnectShareClient(const backup::HostSettings& host, backup::LinkState& link);

// Remote branch of the day choice: asks for the day's index, answered into the link's inbox.
void RequestDayIndex(const backup::HostSettings& host, backup::LinkState& link,
                     const std::string& day);

namespace backup {

// The link's side of the front end: the requests that wait for an answer (a new entry's size)
// and the handling of the answers on the front end's thread. It works on the link, the day
// selection and the schedule (a remote Add ends here); it reads the host's settings, the target
// and the profile, and gives the commands back through the pass end.
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
                const TargetChoice& target, Front front)
        : link_(link),
          host_(host),
          day_(day),
          schedule_(schedule.state),
          profile_(schedule.profile),
          target_(target),
          chooser_(front.chooser),
          targets_(front.targets),
          passEnd_(front.passEnd),
          view_(front.view),
          prompts_(front.prompts) {}
    LinkAnswers(const LinkAnswers&) = delete;
    LinkAnswers& operator=(const LinkAnswers&) = delete;

    // Remote branch of Add, once the entry's folder and information file are made: asks for
    // the size and leaves the commands busy until it arrives. Answers as Add.
    CommandResult RequestEntrySize(const std::string& entry, const std::string& start,
                                   const std::string& end);
    // The answers, on the front end's thread. Why the recorder could not be asked is a status
    // text first.
    void OnDayIndex(const DayIndexAnswer& answer);
    void OnEntrySize(const EntrySizeAnswer& answer);
    // A progress or problem text of the link: the status line, and the link's last text.
    void OnStatus(const std::string& text);
    // The entry being fetched is in the download folder: no download shown any more.
    // The entry of slot is being downloaded: the schedule no longer holds it as pending.
    void OnDownloadBegins(int slot);
    void OnDownloaded();

  private:
    std::string Text(const char* key) const;
    void OnIndexReply(const _INDEXREPLY& r);
    void OnSizeReply(const _ADDSIZEREPLY& r);

    LinkState& link_;
    const HostSettings& host_;
    DaySelection& day_;
    ScheduleState& schedule_;
    const CProfileReadWrite& profile_;
    const TargetChoice& target_;
    DayChooser& chooser_;
    TargetPicker& targets_;
    PassEnd& passEnd_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
};

}  // namespace backup
