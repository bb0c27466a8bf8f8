#include "backup/ScheduleAfterPass.h"

#include <cstring>

#include "backup/CameraSelection.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleCommands.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report) {
    for (int i = 0; i < kScheduleSlots; ++i)
        if (schedule.table[static_cast<std::size_t>(i)].bUsed && !report.EntryComplete(i))
            return false;
    return true;
}

void ClearCompletedEntries(BackupContext& ctx) {
    bool kept = false;
    for (int i = 0; i < kScheduleSlots; ++i) {
        ScheduleEntry& e = ctx.m_schedule.table[static_cast<std::size_t>(i)];
        if (!e.bUsed)
            continue;
        if (!ctx.m_run.report.EntryComplete(i)) {
            e.bMade = 0;
            kept = true;
            continue;
        }
        const std::string folder =
            paths::WorkingEntryFolder(ctx.m_host.basePath, SlotEntryString(e));
        ClearSlot(e);
        e.bMade = 0;
        storage::DeleteFolderTree(folder);
    }
    if (!kept) {
        ClearReservedFolder(ctx.m_host, ctx.m_schedule);
    } else if (!SaveScheduleTable(ctx.m_host, ctx.m_schedule)) {
        // The saved schedule still names the entries that were made; the next pass writes them
        // again, which loses nothing.
        ctx.m_run.report.Fail("the schedule of the entries kept could not be saved in " +
                              ctx.WorkingFolder());
    }
    std::memset(&ctx.m_schedule.entryInfo, 0, sizeof ctx.m_schedule.entryInfo);
    ctx.m_schedule.pickedFolder.clear();
    ctx.m_schedule.pickedEntry.clear();
    FillScheduleList(ctx);
    ctx.m_chooser.ResetCameraSelection();
}

std::vector<std::string> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                     const BackupReport& report) {
    std::vector<std::string> kept;
    for (const std::string& label : schedule.rows) {
        const std::string entry = LabelToEntry(label, dateType);
        for (int i = 0; i < kScheduleSlots; ++i) {
            const ScheduleEntry& e = schedule.table[static_cast<std::size_t>(i)];
            if (e.bUsed && SlotEntryString(e) == entry)
                kept.push_back(label + ": " + report.Entry(i).why);
        }
    }
    return kept;
}

std::string ImageEntryName(const ScheduleEntry& e, int dateType) {
    return NormalizeLabelSeparators(SlotEntryString(e), dateType);
}
