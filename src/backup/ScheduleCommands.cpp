#include "backup/ScheduleCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/CameraSelection.h"
#include "backup/EntrySize.h"
#include "backup/RemoteBackup.h"
#include "backup/ReservedFolder.h"
#include "backup/WriteGuard.h"
#include "platform/FileSystem.h"
#include "platform/TextCase.h"
#include "ports/CDVDWriterPro2.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

// The list keeps its rows in ascending character order, as a sorted list box does.
void InsertListRow(backup::ScheduleState& schedule, backup::IOperatorView& view,
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

void EnableEntryButtons(backup::IOperatorView& view, bool enable) {
    view.EnableDelete(enable);
    view.EnableUpdate(enable);
}

void UpdateEraseButton(backup::IOperatorView& view, CDVDWriterPro2* writer) {
    view.OfferErase(writer && IsRewritableMedia(writer->GetMediaType()));
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

void FillScheduleList(BackupContext& ctx) {
    ctx.m_schedule.rows.clear();
    ctx.m_schedule.pickedRow = -1;
    ctx.m_schedule.entryPicked = 0;
    ctx.m_schedule.totalKB = 0;
    for (const auto& e : ctx.m_schedule.table) {
        if (!e.bUsed)
            continue;
        ctx.m_schedule.AddToTotal(e.nSize);
        InsertListRow(ctx.m_schedule, ctx.m_view,
                      EntryToLabel(SlotEntryString(e), ctx.m_host.dateType));
    }
    ctx.m_view.ScheduleListChanged(ctx.m_schedule.rows);
    ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    EnableEntryButtons(ctx.m_view, false);
}

backup::CommandResult OnAdd(BackupContext& ctx, const backup::TimeFields& range) {
    if (ctx.m_run.running)
        return ctx.Refuse("M010004");
    const std::string& sh = range.startHour;
    const std::string& sm = range.startMinute;
    if (sh.empty() || sm.empty())
        return ctx.Refuse("M010005");
    const std::string& eh = range.endHour;
    const std::string& em = range.endMinute;
    if (eh.empty() || em.empty())
        return ctx.Refuse("M010006");
    if (std::atoi((sh + sm).c_str()) > std::atoi((eh + em).c_str()))
        return ctx.Refuse("M010007");
    if (ctx.m_host.camCount <= 0 || SelectedCameras(ctx.m_host, ctx.m_day).none())
        return ctx.Refuse("M010008");
    const std::string entry = MakeEntryString(ctx.m_day.date, sh, sm, eh, em);
    const std::string label = EntryToLabel(entry, ctx.m_host.dateType);
    if (FindListRow(ctx.m_schedule, label) >= 0)
        return ctx.Refuse("M010009");
    // A full schedule is refused before anything is written, so that no slot is overwritten.
    if (!FindFreeSlot(ctx.m_schedule.table))
        return ctx.Refuse("M010050");

    const std::string working = paths::WorkingFolder(ctx.m_host.basePath);
    const std::string entryFolder = working + "\\" + entry;
    // The working folder and the entry's folder must be the tool's own, not links elsewhere.
    if (const std::string problem = WorkingFolderProblem(ctx.m_host, entryFolder); !problem.empty())
        return ctx.Refuse("M010003", ctx.GetLanguageText("BACKUP", "M010003") + "\n" + problem);
    platform::CreateDirectory(working);
    platform::CreateDirectory(entryFolder);
    if (!AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, entryFolder, EntryRangeKey(entry),
                         kEntryInfoWrite)) {
        platform::DeleteFile(entryFolder + "\\BackupInfo.dat");
        platform::RemoveDirectory(entryFolder);
        return ctx.Refuse("M010003");
    }
    if (!ctx.m_host.localMode)
        return RequestEntrySize(ctx, entry, sh + sm, eh + em);  // the answer makes the entry
    const std::string day = ctx.m_day.date.substr(0, 8);
    ctx.m_view.SetWaitCursor(true);
    const int estimated =
        EstimateEntrySize(ctx.m_host, ctx.m_day, ctx.m_schedule, day, sh + sm, eh + em);
    if (estimated == 1)
        ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    ctx.m_view.SetWaitCursor(false);
    if (estimated != 1) {
        // A refused entry leaves nothing behind in the working folder.
        storage::DeleteFolderTree(entryFolder);
        if (!ctx.m_schedule.AnySlotUsed())
            platform::RemoveDirectory(working);
        return ctx.Refuse("M010002");
    }

    ctx.m_view.SetWaitCursor(true);
    const int slot = *FindFreeSlot(ctx.m_schedule.table);
    ScheduleEntry& e = FillNewSlot(ctx.m_schedule, ctx.m_day, ctx.m_host.camCount, slot,
                                   day + sh + sm, day + eh + em);
    if (!SaveMinuteMap(ctx.m_day, working, entry, day) ||
        !SaveScheduleTable(ctx.m_host, ctx.m_schedule)) {
        // No half entry: the slot, the total and the entry's folder go back to what they were;
        // reserve.dat is replaced only when whole, so the saved schedule is the one before.
        ctx.m_schedule.totalKB -= e.nSize;
        std::memset(&e, 0, sizeof e);
        storage::DeleteFolderTree(entryFolder);
        ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
        ctx.m_view.SetWaitCursor(false);
        return ctx.Refuse("M010003");
    }
    ctx.m_chooser.ResetCameraSelection();
    InsertListRow(ctx.m_schedule, ctx.m_view, label);
    ctx.m_targets.UpdateDiscSpaceBar(ctx.m_target.discReady != 0);
    ctx.m_view.SetWaitCursor(false);
    return {};
}

backup::CommandResult OnDelete(BackupContext& ctx) {
    if (ctx.m_run.running)
        return ctx.Refuse("M010016");
    if (ctx.m_disc.writing)
        return ctx.Refuse("M010017");
    if (!ctx.m_schedule.entryPicked)
        return ctx.Refuse("M010018");
    const int row = ctx.m_schedule.pickedRow;
    if (row < 0 || row >= static_cast<int>(ctx.m_schedule.rows.size()) ||
        ctx.m_schedule.rows[static_cast<std::size_t>(row)].empty())
        return ctx.Refuse("M010018");
    if (ctx.ShowMessage(ctx.GetLanguageText("BACKUP", "M010019"), "Backup", MB_YESNO) != IDYES)
        return backup::CommandResult::Refused("M010019");  // the operator said No

    ctx.m_view.SetWaitCursor(true);
    const std::string entry =
        LabelToEntry(ctx.m_schedule.rows[static_cast<std::size_t>(row)], ctx.m_host.dateType);
    const std::string entryFolder = paths::WorkingEntryFolder(ctx.m_host.basePath, entry);
    ScheduleEntry* e =
        FindSlotByKeys(ctx.m_schedule.table, EntryTimeKey(entry, 0), EntryTimeKey(entry, 1));
    const ScheduleEntry before = e ? *e : ScheduleEntry{};
    if (e)
        ClearSlot(*e);
    // The saved schedule goes first: an entry whose folder is gone must not stay in it, not
    // even when the next step fails or the program is killed between the two.
    const bool saved = ctx.m_schedule.AnySlotUsed() ? SaveScheduleTable(ctx.m_host, ctx.m_schedule)
                                                    : RemoveScheduleFile(ctx.m_host);
    if (!saved) {
        if (e)
            *e = before;
        ctx.m_view.SetWaitCursor(false);
        return ctx.Refuse("Q010003");
    }
    ctx.m_schedule.rows.erase(ctx.m_schedule.rows.begin() + row);
    ctx.m_schedule.pickedRow = -1;
    ctx.m_view.ScheduleListChanged(ctx.m_schedule.rows);
    if (e)
        ctx.m_schedule.totalKB -=
            before.nSize < ctx.m_schedule.totalKB ? before.nSize : ctx.m_schedule.totalKB;
    storage::DeleteFolderTree(entryFolder);
    ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    ctx.m_targets.UpdateDiscSpaceBar(ctx.m_target.discReady != 0);
    if (!ctx.m_schedule.AnySlotUsed()) {
        ClearReservedFolder(ctx.m_host, ctx.m_schedule);
        ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    }
    ctx.m_view.MemoChanged("");
    std::memset(&ctx.m_schedule.entryInfo, 0, sizeof ctx.m_schedule.entryInfo);
    ctx.m_schedule.entryPicked = 0;
    ctx.m_chooser.ResetCameraSelection();
    ctx.m_view.SetWaitCursor(false);
    return {};
}

backup::CommandResult OnSelchangeSchedule(BackupContext& ctx) {
    const int row = ctx.m_schedule.pickedRow;
    if (row < 0 || row >= static_cast<int>(ctx.m_schedule.rows.size()) ||
        ctx.m_schedule.rows[static_cast<std::size_t>(row)].empty()) {
        ctx.m_view.EnableUpdate(false);
        ctx.Refuse("M010018");
        ctx.m_schedule.entryPicked = 0;
        return backup::CommandResult::Refused("M010018");
    }
    ctx.m_schedule.entryPicked = 1;
    const std::string entry =
        LabelToEntry(ctx.m_schedule.rows[static_cast<std::size_t>(row)], ctx.m_host.dateType);
    ctx.m_schedule.pickedFolder = paths::WorkingEntryFolder(ctx.m_host.basePath, entry);
    ctx.m_schedule.pickedEntry = entry;
    ctx.m_chooser.ResetCameraSelection();
    ctx.m_schedule.entryInfoRead =
        AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, ctx.m_schedule.pickedFolder,
                        ctx.m_schedule.pickedEntry, kEntryInfoRead);
    if (ctx.m_schedule.entryInfoRead) {
        ctx.m_view.MemoChanged(ctx.m_schedule.entryInfo.memo);
        ctx.m_view.EnableUpdate(true);
    }
    if (const ScheduleEntry* e =
            FindSlotByKeys(ctx.m_schedule.table, EntryTimeKey(entry, 0), EntryTimeKey(entry, 1))) {
        ctx.m_day.camPage = 0;
        for (int c = 0; c < kMaxCameras; ++c)
            ctx.m_day.camSel[c] = e->bCam[c] ? 1 : 0;
    }
    ctx.m_chooser.ShowEntryCameras();
    EnableEntryButtons(ctx.m_view, true);
    return {};
}

std::size_t MemoLength(const std::string& text) {
    if (text.size() <= kMemoBytes)
        return text.size();
    // Cut before a character whose bytes would not all fit.
    std::size_t n = kMemoBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

void OnChangeMemo(BackupContext& ctx, const std::string& text) {
    // The field takes 250 characters; the record's 255 always hold it with its terminator.
    std::memset(ctx.m_schedule.entryInfo.memo, 0, sizeof ctx.m_schedule.entryInfo.memo);
    std::memcpy(ctx.m_schedule.entryInfo.memo, text.data(), MemoLength(text));
}

backup::CommandResult OnUpdateMemo(BackupContext& ctx) {
    if (ctx.m_run.running)
        return ctx.Refuse("M010016");
    if (ctx.m_disc.writing)
        return ctx.Refuse("M010017");
    if (ctx.m_schedule.pickedFolder.empty() || ctx.m_schedule.pickedEntry.empty())
        return ctx.Refuse("M010018");
    backup::CommandResult refused;
    // A record that could not be read is not written back as one of date 0 with the memo.
    if (!ctx.m_schedule.entryInfoRead ||
        !WorkingFolderProblem(ctx.m_host, ctx.m_schedule.pickedFolder).empty() ||
        !AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, ctx.m_schedule.pickedFolder,
                         ctx.m_schedule.pickedEntry, kEntryInfoUpdate))
        refused = ctx.Refuse("M010037");
    ctx.m_chooser.ResetCameraSelection();
    ctx.m_schedule.pickedRow = -1;
    ctx.m_schedule.entryPicked = 0;
    ctx.m_view.ScheduleRowPicked(-1);
    ctx.m_schedule.pickedFolder.clear();
    ctx.m_schedule.pickedEntry.clear();
    return refused;
}
