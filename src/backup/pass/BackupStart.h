#pragma once
// Choosing the storage target and starting or stopping a backup: the checks the OK command
// makes before the worker is woken, the free-space tests, the writer drive and its speeds, and
// the close with its notice to the host.
#include <string>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/PassBusy.h"
#include "backup/TargetChoice.h"
#include "backup/TargetPicker.h"
#include "backup/disc/DiscState.h"
#include "backup/exhibit/ExhibitFacts.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/RunState.h"
#include "backup/remote/LinkState.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ScheduleState.h"

// True when the volume of path has more free MB than the schedule needs (KB up to 1024 KB).
bool HasFolderSpace(DWORD totalKB, const std::string& path);
// The same against the free megabytes of the disc in the writer.
bool HasDiscSpace(backup::DiscDrive drive, DWORD totalKB);
// The checks of the OK command, in its order: each refusal is shown and answers its key; ""
// when a backup may start. Changes nothing; a folder target that does not exist must be one
// that can be made.
// With mp4 the entries' MP4 files are allowed for as large as the entries themselves: an H.264
// file of the pictures is far smaller than their JPEG bytes in practice, and a target the image
// still outgrows fails its write, never silently.
backup::CommandResult CheckBackupStart(backup::PassBusy busy, const backup::HostSettings& host,
                                       const backup::ScheduleState& schedule,
                                       const backup::TargetChoice& target,
                                       backup::OperatorPrompts& prompts, bool mp4 = false);
// What the operator chose for one pass beside the schedule and the target.
struct StartOptions {
    bool includeViewer = false;
    bool mp4 = false;        // each entry's cameras as MP4 files too
    int writeSpeedRow = -1;  // the row of the write speeds; -1 leaves the writer its own speed
    exhibit::CaseDetails caseDetails;  // the case, exhibit and operator of the report
};
namespace backup {

// The OK command: checks, then a missing target folder made, busy controls, the viewer option,
// a job of the plan taken from the parts, for the worker to take. It starts the run and sets the
// writer's speed; it marks a remote run's entries pending in the schedule.
class PassStarter {
  public:
    struct Target {
        const TargetChoice& choice;
        TargetPicker& picker;
        DiscState& disc;
    };
    struct Front {
        DayChooser& chooser;
        IOperatorEvents& view;
        OperatorPrompts& prompts;
        IPassEvents& events;     // what the pass tells the front end as it goes
        const CQuillonApp& app;  // the texts the pass shows, in the host's language
    };
    PassStarter(RunState& run, const HostSettings& host, ScheduleState& schedule, Target target,
                LinkState& link, Front front)
        : run_(run),
          host_(host),
          schedule_(schedule),
          target_(target.choice),
          targets_(target.picker),
          disc_(target.disc),
          link_(link),
          chooser_(front.chooser),
          view_(front.view),
          prompts_(front.prompts),
          events_(front.events),
          app_(front.app) {}
    PassStarter(const PassStarter&) = delete;
    PassStarter& operator=(const PassStarter&) = delete;

    CommandResult OnOK(const StartOptions& options = StartOptions());

  private:
    RunState& run_;
    const HostSettings& host_;
    ScheduleState& schedule_;
    const TargetChoice& target_;
    TargetPicker& targets_;
    DiscState& disc_;
    LinkState& link_;
    DayChooser& chooser_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
    IPassEvents& events_;
    const CQuillonApp& app_;
};

}  // namespace backup

// The running backup stops: the worker at its next check, a remote download at once. The answer
// of an operator who said Yes, or of a front end without one that was interrupted.
void StopRunningBackup(backup::RunState& run, const backup::HostSettings& host,
                       backup::LinkState& link);
// Cancel while a backup runs: asks the operator, and on Yes stops it as StopRunningBackup; true
// when it stopped at once (a front end that answered at once said yes).
bool CancelRunningBackup(backup::RunState& run, const backup::HostSettings& host,
                         backup::LinkState& link, backup::OperatorPrompts& prompts);

enum class CancelOutcome { kStaysOpen, kClose };
// The Cancel command: stops a disc write or a backup after the operator's Yes, or, idle, closes
// the dialog (in local mode after the notice to the host).
CancelOutcome OnCancel(backup::DiscState& disc, backup::RunState& run,
                       const backup::HostSettings& host, backup::LinkState& link,
                       backup::OperatorPrompts& prompts);
// Message 0x2B21 (2, 1) to the window titled "DVR MAIN", else "NVR MAIN"; false when neither
// is there.
bool NotifyHostClosing();
// The History command's checks; the target's drive ("E:", ":" with no target), or "" when refused.
std::string OnHistory(backup::PassBusy busy, const backup::TargetChoice& target,
                      backup::OperatorPrompts& prompts);
// A folder name of the target's root as the backup data list shows it in the date type.
std::string BackupDataLabel(const std::string& folderName, int dateType);
