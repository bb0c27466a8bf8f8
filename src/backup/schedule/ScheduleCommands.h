#pragma once
// The schedule list's commands: Add, Delete, picking an entry and the memo. Each refusal shows
// its language text and changes nothing; the commands answer the key they refused with ("" when
// they went through), so that a front end without boxes can tell what happened.
#include <functional>
#include <optional>
#include <string>

#include "app/CProfileReadWrite.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/PassBusy.h"
#include "backup/TargetPicker.h"
#include "backup/disc/DiscState.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/RunState.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleState.h"
#include "records/ScheduleEntry.h"

namespace backup {

// The schedule's commands on the parts they work on: the schedule and the day selection they
// change, the host's settings and the profile they read, the view and the prompts they answer
// on, the chooser and the target picker they refresh, and the run and the disc writer whose
// work refuses them. A remote recorder's size of a new entry is asked for through askSize; its
// answer makes the entry later.
class ScheduleEditor {
  public:
    using AskSize = std::function<CommandResult(const std::string& entry, const std::string& start,
                                                const std::string& end)>;
    ScheduleEditor(const HostSettings& host, const CProfileReadWrite& profile, DaySelection& day,
                   ScheduleState& schedule, IOperatorEvents& view, OperatorPrompts& prompts,
                   DayChooser& chooser, TargetPicker& targets, PassBusy busy, AskSize askSize)
        : host_(host),
          profile_(profile),
          day_(day),
          schedule_(schedule),
          view_(view),
          prompts_(prompts),
          chooser_(chooser),
          targets_(targets),
          busy_(busy),
          askSize_(std::move(askSize)) {}
    ScheduleEditor(const ScheduleEditor&) = delete;
    ScheduleEditor& operator=(const ScheduleEditor&) = delete;

    // The list rows from the schedule table at start, and the total of the entries' sizes.
    void FillScheduleList();
    // The schedule table cleared, then reserve.dat restored into it and the list.
    void RestoreSchedule();
    // Adds the entry of the chosen day, the time range and the selected cameras.
    CommandResult OnAdd(const TimeFields& range);
    // Removes the picked entry (pickedRow), after the operator's confirmation.
    CommandResult OnDelete();
    // Picks list row row (-1: none) and shows its entry: its cameras and its memo.
    CommandResult OnSelchangeSchedule(int row);
    // The memo field's text, copied into the picked entry's record as it is typed: at most 250
    // bytes, cut before a character that would not fit whole.
    void OnChangeMemo(const std::string& text);
    // Stores the memo of the picked entry in its information file.
    CommandResult OnUpdateMemo();

    // The list row an operator names: its label exactly as the list shows it, or its entry
    // string (2010_05_23=10,00~10,06); -1 when none is listed by that name. Nothing else names a
    // row, a beginning of one least of all.
    int RowNamed(const std::string& name) const;
    // The entry an operator names, picked as a click picks it, then deleted or given memo (cut
    // as typing cuts it). Refused with kNoSuchEntry when none is listed by that name.
    static constexpr const char* kNoSuchEntry = "no such entry";
    CommandResult DeleteEntry(const std::string& name);
    CommandResult UpdateMemo(const std::string& name, const std::string& memo);

    // After a pass: when it made every entry whole (madeWhole), the whole schedule is cleared;
    // else the entries it made whole (report) go from the schedule, reserve.dat and the working
    // folder, the others stay, and the list and the total are filled from what is kept. A kept
    // schedule that cannot be saved is a failure of the pass.
    // When another program rewrote reserve.dat during the pass (it does not take our lock), its
    // schedule is kept, less the entries the pass made whole, and the operator is told.
    void ClearAfterPass(BackupReport& report, bool madeWhole);
    // reserve.dat as another program left it during a pass, when it no longer names the entries
    // this table names; nullopt when it is as saved (or gone, or not a schedule).
    std::optional<ScheduleTable> ScheduleChangedUnderUs() const;
    // The list, the total, the entry record, reserve.dat with the working folder, and the
    // selection cleared.
    void ClearWholeSchedule();

  private:
    // Deletes the entry listed as label, once the operator said yes.
    CommandResult DeleteListed(const std::string& label);
    void KeepScheduleChangedUnderUs(const ScheduleTable& outside, const BackupReport& report);
    void KeepIncompleteEntries(BackupReport& report);

    const HostSettings& host_;
    const CProfileReadWrite& profile_;
    DaySelection& day_;
    ScheduleState& schedule_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
    DayChooser& chooser_;
    TargetPicker& targets_;
    PassBusy busy_;
    AskSize askSize_;
};

// The schedule with the editor that changes it, for the classes that leave the schedule as a
// pass or a disc write left it.
struct EditedSchedule {
    ScheduleState& state;
    ScheduleEditor& editor;
};

}  // namespace backup

constexpr std::size_t kMemoBytes = 250;
// How many bytes of text the memo keeps.
std::size_t MemoLength(const std::string& text);
// Puts label into the sorted schedule list; the picked row stays picked.
void InsertListRow(backup::ScheduleState& schedule, backup::IOperatorEvents& view,
                   const std::string& label);
// A new entry in slot: its keys ("yyyymmddhhmm"), the estimated size, the selected cameras
// (all cameras when every camera with recordings is), and its minute map; the selection's count
// is spent.
ScheduleEntry& FillNewSlot(backup::ScheduleState& schedule, backup::DaySelection& day, int camCount,
                           int slot, const std::string& startKey, const std::string& endKey);
// Row of the list that begins with text, without regard to case; -1 when none.
int FindListRow(const backup::ScheduleState& schedule, const std::string& text);
