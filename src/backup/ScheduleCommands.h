#pragma once
// The schedule list's commands: Add, Delete, picking an entry and the memo. Each refusal shows
// its language text and changes nothing; the commands answer the key they refused with ("" when
// they went through), so that a front end without boxes can tell what happened.
#include <string>

#include "backup/BackupContext.h"

// The list rows from the schedule table at start, and the total of the entries' sizes.
void FillScheduleList(BackupContext& ctx);
// Adds the entry of the chosen day, the time range and the selected cameras.
backup::CommandResult OnAdd(BackupContext& ctx, const backup::TimeFields& range);
// Removes the picked entry (m_schedule.pickedRow), after the operator's confirmation.
backup::CommandResult OnDelete(BackupContext& ctx);
// Shows the entry of list row m_schedule.pickedRow: its cameras and its memo.
backup::CommandResult OnSelchangeSchedule(BackupContext& ctx);
// The memo field's text, copied into the picked entry's record as it is typed: at most 250
// bytes, cut before a character that would not fit whole.
constexpr std::size_t kMemoBytes = 250;
void OnChangeMemo(BackupContext& ctx, const std::string& text);
// How many bytes of text the memo keeps.
std::size_t MemoLength(const std::string& text);
// Stores the memo of the picked entry in its information file.
backup::CommandResult OnUpdateMemo(BackupContext& ctx);
void EnableEntryButtons(backup::IOperatorView& view, bool enable);
// "Erase" is offered for a rewritable disc only.
void UpdateEraseButton(backup::IOperatorView& view, CDVDWriterPro2* writer);
// Puts label into the sorted schedule list; the picked row stays picked.
void InsertListRow(backup::ScheduleState& schedule, backup::IOperatorView& view,
                   const std::string& label);
// A new entry in slot: its keys ("yyyymmddhhmm"), the estimated size, the selected cameras
// (all cameras when every camera with recordings is), and its minute map; the selection's count
// is spent.
ScheduleEntry& FillNewSlot(backup::ScheduleState& schedule, backup::DaySelection& day, int camCount,
                           int slot, const std::string& startKey, const std::string& endKey);
// Row of the list that begins with text, without regard to case; -1 when none.
int FindListRow(const backup::ScheduleState& schedule, const std::string& text);
