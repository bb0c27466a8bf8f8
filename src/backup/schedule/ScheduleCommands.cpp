#include "backup/schedule/ScheduleCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup/pass/BackupPackage.h"
#include "backup/pass/WriteGuard.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/KeptCase.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "integrity/CustodyLog.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"
#include "platform/TextCase.h"
#include "ports/CDVDWriterPro2.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

// The list keeps its rows in ascending character order, as a sorted list does.
void InsertListRow(backup::ScheduleState& schedule, backup::IOperatorEvents& view,
                   const std::string& label) {
    auto& rows = schedule.rows;
    auto at = std::upper_bound(rows.begin(), rows.end(), label,
                               [](const std::string& a, const std::string& b) {
                                   return platform::FoldCase(a) < platform::FoldCase(b);
                               });
    const int index = static_cast<int>(at - rows.begin());
    rows.insert(at, label);
    view.ScheduleListChanged(rows);
    // The picked row stays picked, wherever the new row went, as in any sorted list.
    if (schedule.pickedRow >= index)
        ++schedule.pickedRow;
    if (schedule.pickedRow >= 0)
        view.ScheduleRowPicked(schedule.pickedRow);
}

ScheduleEntry& FillNewSlot(backup::ScheduleState& schedule, backup::DaySelection& day, int camCount,
                           int slot, const std::string& startKey, const std::string& endKey) {
    schedule.currentSlot = slot;
    ScheduleEntry& e = schedule.table[static_cast<std::size_t>(slot)];
    e.bUsed = 1;
    e.bPending = 1;
    SetKeys(e, startKey, endKey);
    e.nSize = schedule.lastEntryKB;
    schedule.lastEntryKB = 0;
    for (int c = 0; c < camCount && c < kMaxCameras; ++c)
        e.bCam[c] = day.camSel[c] ? 1 : 0;
    e.bAllCam = day.selCamCount == day.existCamCount ? 1 : 0;
    day.selCamCount = 0;
    BuildMinuteMap(schedule.table, slot, day.recMap, day.selMap);
    return e;
}

int FindListRow(const backup::ScheduleState& schedule, const std::string& text) {
    const std::string want = platform::FoldCase(text);
    for (std::size_t i = 0; i < schedule.rows.size(); ++i)
        if (platform::FoldCase(schedule.rows[i]).compare(0, want.size(), want) == 0)
            return static_cast<int>(i);
    return -1;
}

namespace backup {

void ScheduleEditor::FillScheduleList() {
    schedule_.rows.clear();
    schedule_.pickedRow = -1;
    schedule_.entryPicked = 0;
    schedule_.totalKB = 0;
    for (const auto& e : schedule_.table) {
        if (!e.bUsed)
            continue;
        schedule_.AddToTotal(e.nSize);
        InsertListRow(schedule_, view_, EntryToLabel(SlotEntryString(e), host_.dateType));
    }
    view_.ScheduleListChanged(schedule_.rows);
    TellTotalSize(profile_, schedule_, view_);
    view_.EntryPicked(false);
}

void ScheduleEditor::RestoreSchedule() {
    std::memset(schedule_.table.data(), 0, sizeof schedule_.table);
    schedule_.totalKB = 0;
    // A working folder that is a link could lead every write and the clean-up elsewhere: the
    // schedule then starts empty and Add refuses with the same words.
    if (const platform::Outcome own = CheckWorkingFolder(host_); !own) {
        prompts_.Tell(prompts_.Text("BACKUP", "Q010005") + "\n" + own.error().Said());
        FillScheduleList();
        return;
    }
    platform::CreateDirectory(paths::WorkingFolder(host_.basePath));
    LoadScheduleTable(host_, schedule_, prompts_);
    FillScheduleList();
}

CommandResult ScheduleEditor::OnAdd(const TimeFields& range) {
    if (busy_.run.running)
        return prompts_.Refuse("M010004");
    const std::string& sh = range.startHour;
    const std::string& sm = range.startMinute;
    if (sh.empty() || sm.empty())
        return prompts_.Refuse("M010005");
    const std::string& eh = range.endHour;
    const std::string& em = range.endMinute;
    if (eh.empty() || em.empty())
        return prompts_.Refuse("M010006");
    if (std::atoi((sh + sm).c_str()) > std::atoi((eh + em).c_str()))
        return prompts_.Refuse("M010007");
    if (host_.camCount <= 0 || SelectedCameras(host_, day_).none())
        return prompts_.Refuse("M010008");
    const std::string entry = MakeEntryString(day_.date, sh, sm, eh, em);
    const std::string label = EntryToLabel(entry, host_.dateType);
    if (FindListRow(schedule_, label) >= 0)
        return prompts_.Refuse("M010009");
    // A full schedule is refused before anything is written, so that no slot is overwritten.
    if (!FindFreeSlot(schedule_.table))
        return prompts_.Refuse("M010050");

    const std::string working = paths::WorkingFolder(host_.basePath);
    const std::string entryFolder = working + "\\" + entry;
    // The working folder and the entry's folder must be the tool's own, not links elsewhere.
    if (const platform::Outcome own = CheckWorkingFolder(host_, entryFolder); !own)
        return prompts_.Refuse("M010003",
                               prompts_.Text("BACKUP", "M010003") + "\n" + own.error().Said());
    platform::CreateDirectory(working);
    platform::CreateDirectory(entryFolder);
    if (!AccessEntryInfo(host_, schedule_.entryInfo, entryFolder, EntryRangeKey(entry),
                         kEntryInfoWrite)) {
        platform::DeleteFile(entryFolder + "\\BackupInfo.dat");
        platform::RemoveDirectory(entryFolder);
        return prompts_.Refuse("M010003");
    }
    if (!host_.localMode)
        return askSize_(entry, sh + sm, eh + em);  // the answer makes the entry
    const std::string day = day_.date.substr(0, 8);
    view_.Busy(true);
    const bool estimated = EstimateEntrySize(host_, day_, schedule_, day, sh + sm, eh + em);
    if (estimated)
        TellTotalSize(profile_, schedule_, view_);
    view_.Busy(false);
    if (!estimated) {
        // A refused entry leaves nothing behind in the working folder.
        storage::DeleteFolderTree(entryFolder);
        if (!schedule_.AnySlotUsed())
            platform::RemoveDirectory(working);
        return prompts_.Refuse("M010002");
    }

    view_.Busy(true);
    const int slot = *FindFreeSlot(schedule_.table);
    ScheduleEntry& e =
        FillNewSlot(schedule_, day_, host_.camCount, slot, day + sh + sm, day + eh + em);
    if (!SaveMinuteMap(day_, working, entry, day) || !SaveScheduleTable(host_, schedule_)) {
        // No half entry: the slot, the total and the entry's folder go back to what they were;
        // reserve.dat is replaced only when whole, so the saved schedule is the one before.
        schedule_.totalKB -= e.nSize;
        std::memset(&e, 0, sizeof e);
        storage::DeleteFolderTree(entryFolder);
        TellTotalSize(profile_, schedule_, view_);
        view_.Busy(false);
        return prompts_.Refuse("M010003");
    }
    chooser_.ResetCameraSelection();
    InsertListRow(schedule_, view_, label);
    targets_.RetellDiscSpace();
    // The base folder's chain of custody begins with the entry, before any image names it. A
    // log that cannot take the line does not undo the entry, which is saved: the operator is
    // told, since the backup will find the same log.
    const platform::Outcome logged =
        integrity::LogScheduled(platform::ResolvePath(host_.basePath + integrity::kCustodyLogName),
                                entry, backup::LoadKeptCase(host_.basePath).operatorName);
    view_.Busy(false);
    if (!logged)
        prompts_.Tell(
            "The entry is scheduled, but the custody log was not written: " + logged.error().Said(),
            Severity::kWarning);
    return {};
}

CommandResult ScheduleEditor::OnDelete() {
    if (CommandResult refused = busy_.Refuse(prompts_); refused.refused())
        return refused;
    if (!schedule_.entryPicked)
        return prompts_.Refuse("M010018");
    const int row = schedule_.pickedRow;
    if (row < 0 || row >= static_cast<int>(schedule_.rows.size()) ||
        schedule_.rows[static_cast<std::size_t>(row)].empty())
        return prompts_.Refuse("M010018");
    const std::string label = schedule_.rows[static_cast<std::size_t>(row)];
    return prompts_.Ask(prompts_.Text("BACKUP", "M010019"), QuestionAbout::kNothing,
                        [this, label](bool yes) {
                            if (!yes)
                                return CommandResult::Refused("M010019");
                            return DeleteListed(label);
                        });
}

CommandResult ScheduleEditor::DeleteListed(const std::string& label) {
    // The answer may come late: by then a pass may run, or the entry be gone from the list.
    if (CommandResult refused = busy_.Refuse(prompts_); refused.refused())
        return refused;
    const auto listed = std::find(schedule_.rows.begin(), schedule_.rows.end(), label);
    if (listed == schedule_.rows.end())
        return prompts_.Refuse("M010018");
    const auto row = listed - schedule_.rows.begin();
    view_.Busy(true);
    const std::string entry = LabelToEntry(label, host_.dateType);
    const std::string entryFolder = paths::WorkingEntryFolder(host_.basePath, entry);
    ScheduleEntry* e =
        FindSlotByKeys(schedule_.table, EntryTimeKey(entry, 0), EntryTimeKey(entry, 1));
    const ScheduleEntry before = e ? *e : ScheduleEntry{};
    if (e)
        ClearSlot(*e);
    // The saved schedule goes first: an entry whose folder is gone must not stay in it, not
    // even when the next step fails or the program is killed between the two.
    const bool saved =
        schedule_.AnySlotUsed() ? SaveScheduleTable(host_, schedule_) : RemoveScheduleFile(host_);
    if (!saved) {
        if (e)
            *e = before;
        view_.Busy(false);
        return prompts_.Refuse("Q010003");
    }
    schedule_.rows.erase(schedule_.rows.begin() + row);
    schedule_.pickedRow = -1;
    view_.ScheduleListChanged(schedule_.rows);
    if (e)
        schedule_.totalKB -= before.nSize < schedule_.totalKB ? before.nSize : schedule_.totalKB;
    storage::DeleteFolderTree(entryFolder);
    TellTotalSize(profile_, schedule_, view_);
    targets_.RetellDiscSpace();
    if (!schedule_.AnySlotUsed()) {
        ClearReservedFolder(host_, schedule_);
        TellTotalSize(profile_, schedule_, view_);
    }
    view_.MemoChanged("");
    std::memset(&schedule_.entryInfo, 0, sizeof schedule_.entryInfo);
    schedule_.entryPicked = 0;
    chooser_.ResetCameraSelection();
    view_.Busy(false);
    return {};
}

int ScheduleEditor::RowNamed(const std::string& name) const {
    const auto& rows = schedule_.rows;
    const auto exact = [&](const std::string& label) {
        const auto it = std::find(rows.begin(), rows.end(), label);
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    };
    const int row = exact(name);
    if (row >= 0 || name.size() != 22 || name[10] != '=')
        return row;
    return exact(EntryToLabel(name, host_.dateType));
}

CommandResult ScheduleEditor::DeleteEntry(const std::string& name) {
    const int row = RowNamed(name);
    if (row < 0)
        return CommandResult::Refused(kNoSuchEntry);
    if (const CommandResult picked = OnSelchangeSchedule(row); picked.refused())
        return picked;
    return OnDelete();
}

CommandResult ScheduleEditor::UpdateMemo(const std::string& name, const std::string& memo) {
    const int row = RowNamed(name);
    if (row < 0)
        return CommandResult::Refused(kNoSuchEntry);
    if (const CommandResult picked = OnSelchangeSchedule(row); picked.refused())
        return picked;
    OnChangeMemo(memo);
    return OnUpdateMemo();
}

CommandResult ScheduleEditor::OnSelchangeSchedule(int row) {
    schedule_.pickedRow = row;
    if (row < 0 || row >= static_cast<int>(schedule_.rows.size()) ||
        schedule_.rows[static_cast<std::size_t>(row)].empty()) {
        view_.MemoEditable(false);
        prompts_.Refuse("M010018");
        schedule_.entryPicked = 0;
        return CommandResult::Refused("M010018");
    }
    schedule_.entryPicked = 1;
    const std::string entry =
        LabelToEntry(schedule_.rows[static_cast<std::size_t>(row)], host_.dateType);
    schedule_.pickedFolder = paths::WorkingEntryFolder(host_.basePath, entry);
    schedule_.pickedEntry = entry;
    chooser_.ResetCameraSelection();
    schedule_.entryInfoRead = AccessEntryInfo(host_, schedule_.entryInfo, schedule_.pickedFolder,
                                              schedule_.pickedEntry, kEntryInfoRead);
    if (schedule_.entryInfoRead) {
        view_.MemoChanged(schedule_.entryInfo.memo);
        view_.MemoEditable(true);
    }
    if (const ScheduleEntry* e =
            FindSlotByKeys(schedule_.table, EntryTimeKey(entry, 0), EntryTimeKey(entry, 1))) {
        day_.camPage = 0;
        for (int c = 0; c < kMaxCameras; ++c)
            day_.camSel[c] = e->bCam[c] ? 1 : 0;
    }
    chooser_.TellEntryCameras();
    view_.EntryPicked(true);
    return {};
}

}  // namespace backup

std::size_t MemoLength(const std::string& text) {
    if (text.size() <= kMemoBytes)
        return text.size();
    // Cut before a character whose bytes would not all fit.
    std::size_t n = kMemoBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

namespace backup {

void ScheduleEditor::OnChangeMemo(const std::string& text) {
    // The field takes 250 characters; the record's 255 always hold it with its terminator.
    std::memset(schedule_.entryInfo.memo, 0, sizeof schedule_.entryInfo.memo);
    std::memcpy(schedule_.entryInfo.memo, text.data(), MemoLength(text));
}

CommandResult ScheduleEditor::OnUpdateMemo() {
    if (CommandResult refused = busy_.Refuse(prompts_); refused.refused())
        return refused;
    if (schedule_.pickedFolder.empty() || schedule_.pickedEntry.empty())
        return prompts_.Refuse("M010018");
    CommandResult refused;
    // A record that could not be read is not written back as one of date 0 with the memo.
    if (!schedule_.entryInfoRead || !CheckWorkingFolder(host_, schedule_.pickedFolder) ||
        !AccessEntryInfo(host_, schedule_.entryInfo, schedule_.pickedFolder, schedule_.pickedEntry,
                         kEntryInfoUpdate))
        refused = prompts_.Refuse("M010037");
    chooser_.ResetCameraSelection();
    schedule_.pickedRow = -1;
    schedule_.entryPicked = 0;
    view_.ScheduleRowPicked(-1);
    schedule_.pickedFolder.clear();
    schedule_.pickedEntry.clear();
    return refused;
}

}  // namespace backup
