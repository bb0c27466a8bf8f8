#include "backup/schedule/ScheduleAfterPass.h"

#include <cstring>
#include <set>

#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleCommands.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

bool PassCompletedEveryEntry(const backup::ScheduleState& schedule, const BackupReport& report) {
    for (int i = 0; i < kScheduleSlots; ++i)
        if (schedule.table[static_cast<std::size_t>(i)].bUsed && !report.EntryComplete(i))
            return false;
    return true;
}

std::vector<KeptEntry> KeptEntries(const backup::ScheduleState& schedule, int dateType,
                                   const BackupReport& report) {
    std::vector<KeptEntry> kept;
    for (const std::string& label : schedule.rows) {
        const std::string entry = LabelToEntry(label, dateType);
        for (int i = 0; i < kScheduleSlots; ++i) {
            const ScheduleEntry& e = schedule.table[static_cast<std::size_t>(i)];
            if (e.bUsed && SlotEntryString(e) == entry) {
                const EntryOutcome outcome = report.Entry(i);
                kept.push_back({label, outcome.why, outcome.recordingDamaged});
            }
        }
    }
    return kept;
}

std::string KeptEntryLine(const KeptEntry& kept) {
    return kept.recordingDamaged ? DamagedEntryNote(kept.label) : kept.label + ": " + kept.why;
}

std::string DamagedEntryNote(const std::string& label) {
    return label + ": its recording is damaged; another backup copies the same";
}

std::string LabelledFailure(const PassFailure& failure, int dateType) {
    if (!IsEntryString(failure.entry))
        return failure.Text();
    const std::string label = EntryToLabel(failure.entry, dateType);
    return label.empty() ? failure.Text() : label + ": " + failure.what;
}

// What a pass leaves of the schedule, as the schedule's editor does it.
namespace backup {

namespace {

// The same request: range, cameras and size; what a pass marks on it aside.
bool SameEntry(const ScheduleEntry& a, const ScheduleEntry& b) {
    if (!a.bUsed || !b.bUsed)
        return !a.bUsed == !b.bUsed;
    return StartKey(a) == StartKey(b) && EndKey(a) == EndKey(b) && CamerasOf(a) == CamerasOf(b) &&
           !a.bAllCam == !b.bAllCam && a.nSize == b.nSize;
}

}  // namespace

std::optional<ScheduleTable> ScheduleEditor::ScheduleChangedUnderUs() const {
    ScheduleTable disk{};
    if (!storage::PeekScheduleTable(host_.basePath, disk))
        return std::nullopt;
    for (int i = 0; i < kScheduleSlots; ++i)
        if (!SameEntry(disk[static_cast<std::size_t>(i)],
                       schedule_.table[static_cast<std::size_t>(i)]))
            return disk;
    return std::nullopt;
}

void ScheduleEditor::KeepScheduleChangedUnderUs(const ScheduleTable& outside,
                                                const BackupReport& report) {
    auto completed = [&](const ScheduleEntry& e) {
        for (int i = 0; i < kScheduleSlots; ++i)
            if (SameEntry(schedule_.table[static_cast<std::size_t>(i)], e))
                return schedule_.table[static_cast<std::size_t>(i)].bUsed &&
                       report.EntryComplete(i);
        return false;
    };
    ScheduleTable merged = outside;
    std::set<std::string> keptFolders;
    for (ScheduleEntry& e : merged) {
        if (!e.bUsed)
            continue;
        if (completed(e))
            ClearSlot(e);
        else
            keptFolders.insert(SlotEntryString(e));
        e.bMade = 0;
    }
    // The working folders of what this pass made whole go, unless the other program's schedule
    // names the same range for other cameras.
    for (int i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = schedule_.table[static_cast<std::size_t>(i)];
        if (e.bUsed && report.EntryComplete(i) && !keptFolders.count(SlotEntryString(e)))
            storage::DeleteFolderTree(
                paths::WorkingEntryFolder(host_.basePath, SlotEntryString(e)));
    }
    schedule_.table = merged;
    schedule_.totalKB = 0;
    for (const ScheduleEntry& e : merged)
        if (e.bUsed)
            schedule_.totalKB += e.nSize;
    if (!schedule_.AnySlotUsed())
        ClearReservedFolder(host_, schedule_);
    else
        SaveScheduleTable(host_, schedule_);
    prompts_.Tell(paths::ReservePath(host_.basePath) +
                  " was changed by another program during the backup: the schedule it "
                  "holds is kept, less the entries this backup completed.");
}

void ScheduleEditor::ClearAfterPass(BackupReport& report, bool madeWhole) {
    // reserve.dat is read once: another program may rewrite it at any moment.
    const std::optional<ScheduleTable> outside = ScheduleChangedUnderUs();
    if (!outside && madeWhole) {
        ClearWholeSchedule();
        return;
    }
    if (outside)
        KeepScheduleChangedUnderUs(*outside, report);
    else
        KeepIncompleteEntries(report);
    std::memset(&schedule_.entryInfo, 0, sizeof schedule_.entryInfo);
    schedule_.pickedFolder.clear();
    schedule_.pickedEntry.clear();
    FillScheduleList();
    chooser_.ResetCameraSelection();
}

void ScheduleEditor::KeepIncompleteEntries(BackupReport& report) {
    bool kept = false;
    for (int i = 0; i < kScheduleSlots; ++i) {
        ScheduleEntry& e = schedule_.table[static_cast<std::size_t>(i)];
        if (!e.bUsed)
            continue;
        if (!report.EntryComplete(i)) {
            e.bMade = 0;
            kept = true;
            continue;
        }
        const std::string folder = paths::WorkingEntryFolder(host_.basePath, SlotEntryString(e));
        ClearSlot(e);
        e.bMade = 0;
        storage::DeleteFolderTree(folder);
    }
    if (!kept) {
        ClearReservedFolder(host_, schedule_);
    } else if (!SaveScheduleTable(host_, schedule_)) {
        // The saved schedule still names the entries that were made; the next pass writes them
        // again, which loses nothing.
        report.Fail("the schedule of the entries kept could not be saved in " +
                    paths::WorkingFolder(host_.basePath));
    }
}

void ScheduleEditor::ClearWholeSchedule() {
    schedule_.rows.clear();
    schedule_.pickedRow = -1;
    view_.ScheduleListChanged(schedule_.rows);
    view_.TotalSizeChanged("");
    std::memset(&schedule_.entryInfo, 0, sizeof schedule_.entryInfo);
    ClearReservedFolder(host_, schedule_);
    chooser_.ResetCameraSelection();
}

}  // namespace backup
