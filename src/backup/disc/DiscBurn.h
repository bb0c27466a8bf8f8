#pragma once
// The front end's side of disc writing: the writer's start, the hand-over of a finished backup
// image to it, the write with its options, what each of its events does to the schedule and
// the view, the clean-up after a completed write, and erasing a rewritable disc. It works on
// the disc writer and the run; it reads the host's settings, the target and the profile, and
// after a write it leaves the schedule as the pass left it, through the schedule editor.
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/TargetPicker.h"
#include "backup/disc/DiscState.h"
#include "backup/pass/RunState.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ScheduleCommands.h"
#include "backup/schedule/ScheduleState.h"
#include "ports/CDVDWriterPro2.h"

namespace backup {

class DiscBurner {
  public:
    DiscBurner(DiscState& disc, RunState& run, const HostSettings& host, const TargetChoice& target,
               const CProfileReadWrite& profile, EditedSchedule schedule, DayChooser& chooser,
               TargetPicker& targets, IOperatorEvents& view, OperatorPrompts& prompts)
        : disc_(disc),
          run_(run),
          host_(host),
          target_(target),
          profile_(profile),
          schedule_(schedule.state),
          editor_(schedule.editor),
          chooser_(chooser),
          targets_(targets),
          view_(view),
          prompts_(prompts) {}
    DiscBurner(const DiscBurner&) = delete;
    DiscBurner& operator=(const DiscBurner&) = delete;

    // At the window's start; A010001 when the writer cannot be used (the window opens anyway).
    bool InitDiscWriter();
    // The end of a disc pass, once every entry is in C:\QuillonTemp: the image's files to the
    // writer, then the write, or back to idle when the backup was cancelled. On the front end's
    // thread (the worker's, for a front end that only waits while a pass runs).
    void HandOverDiscImage();
    // The write with its options in their order; A010019 without a disc, A010020 when it does
    // not start (the writer then reports the end by an event).
    void StartDiscWrite();
    // One event of the writer. User-interface thread.
    void OnWriterEvent(const WriterEvent& event);
    // "Erase": the checks, the operator's yes, then the erase; its end comes as event 11 or 21.
    // True when the erase started at once (its end is then still to come), false when it was
    // refused, could not start, or waits for the operator's answer.
    bool OnErase();

  private:
    CommandResult Erase();
    std::string Text(const char* key) const;
    void BackToIdle();
    void DiscSpaceBack();
    void WriteEnded();
    void WriteCompleted();
    void WriterError(long code, const std::string& detail);
    void EraseCompleted();

    DiscState& disc_;
    RunState& run_;
    const HostSettings& host_;
    const TargetChoice& target_;
    const CProfileReadWrite& profile_;
    ScheduleState& schedule_;
    ScheduleEditor& editor_;
    DayChooser& chooser_;
    TargetPicker& targets_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
};

}  // namespace backup
