#pragma once
// What the end of a pass does on the front end's thread: after a local pass, the schedule of a
// folder pass or the image handed to the disc writer; after a remote run, the same or the
// front end back to idle with what went wrong; and the notice that tells the operator.
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/disc/DiscBurn.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/PassEnding.h"
#include "backup/pass/RunState.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ScheduleCommands.h"
#include "backup/schedule/ScheduleState.h"

namespace backup {

// It works on the run and, through the schedule editor and the disc burner, on the schedule
// and the disc; it reads the target and the profile.
class PassEnd final : public IPassEndings {
  public:
    PassEnd(RunState& run, EditedSchedule schedule, const TargetChoice& target,
            const CProfileReadWrite& profile, DayChooser& chooser, DiscBurner& burner,
            IOperatorEvents& view, OperatorPrompts& prompts)
        : run_(run),
          schedule_(schedule.state),
          editor_(schedule.editor),
          target_(target),
          profile_(profile),
          chooser_(chooser),
          burner_(burner),
          view_(view),
          prompts_(prompts) {}
    PassEnd(const PassEnd&) = delete;
    PassEnd& operator=(const PassEnd&) = delete;

    void PassEnded(const PassEnding& ending) override;
    // A remote run over before its end (the link failed, the remote side could not make an
    // entry, or the operator cancelled), its manifest written: the window is told why.
    void TellRemoteRunEnded(const std::string& why);
    // The commands back after a remote request: nothing under way.
    void Idle();

  private:
    // A pass from this recorder: a folder pass cleans up, a disc pass hands its image over to
    // the writer.
    void LocalPassEnded();
    // A run over the link: the burn for a disc target, the clean-up for a folder, or the
    // window back to idle with what went wrong.
    void RemoteRunEnded(const PassEnding& ending);
    // The clean-up of a finished folder backup: not running, controls idle, and the schedule
    // cleared of what the pass made whole (all of it when madeWhole).
    void ClearFinishedSchedule(bool madeWhole);
    // The end of a folder backup: the entries it made whole leave the schedule and the working
    // folder (all of them, with the total and the selection, when every entry was made whole),
    // the viewer option is cleared and the view is told the pass ended.
    void FinishFolderBackup();
    // The end of a remote backup to a folder: as a local one, then the operator is told here.
    void FinishRemoteFolderBackup();
    // Idle, and no progress shown.
    void SetIdle();
    std::string Text(const char* key) const { return prompts_.Text("BACKUP", key); }

    RunState& run_;
    ScheduleState& schedule_;
    ScheduleEditor& editor_;
    const TargetChoice& target_;
    const CProfileReadWrite& profile_;
    DayChooser& chooser_;
    DiscBurner& burner_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
};

}  // namespace backup

// What the window tells the operator once a pass has ended: "" when it completed (the window
// then says so in its own words), else that it stopped or which files were not copied, and which
// entries stay in the schedule with the first thing each lacks, so that an incomplete backup is
// never reported as complete.
std::string PassOutcomeText(const backup::OperatorPrompts& prompts, const BackupReport& report,
                            const backup::ScheduleState& schedule, int dateType);
// The notice that ends a local folder pass, once the front end has drawn the end (PassEnded): the
// outcome, or that the backup is complete, with the key that signed its manifest.
void TellPassOutcome(backup::IOperatorEvents& view, backup::OperatorPrompts& prompts,
                     const backup::RunState& run, const backup::ScheduleState& schedule,
                     int dateType);
