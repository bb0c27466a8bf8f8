#pragma once
// The schedule as the operator builds it, one owner: the table of 50 slots (as reserve.dat holds
// it), the list's rows and its picked row, the total of the entries' sizes, and the picked entry
// with its information record.
#include <string>
#include <vector>

#include "records/BackupInfo.h"
#include "records/ScheduleEntry.h"

namespace backup {

struct ScheduleState {
    ScheduleTable table{};
    std::vector<std::string> rows;  // the labels sorted, as the list shows them
    int pickedRow = -1;             // -1: none
    DWORD totalKB = 0;
    DWORD lastEntryKB = 0;  // the estimate of the entry being added
    int currentSlot = 0;    // the slot the last entry went into

    // The picked entry: whether one is, its information record (entryInfoRead: as read from
    // its folder), the entry string and its working folder.
    bool entryPicked = false;
    BackupInfoRecord entryInfo{};
    bool entryInfoRead = false;
    std::string pickedEntry;
    std::string pickedFolder;

    // Adds kb to the total; a total that would pass the largest DWORD stays there.
    void AddToTotal(DWORD kb) {
        const DWORD room = 0xFFFFFFFFu - totalKB;
        totalKB += kb < room ? kb : room;
    }
    bool AnySlotUsed() const {
        for (const ScheduleEntry& e : table)
            if (e.bUsed)
                return true;
        return false;
    }
};

}  // namespace backup
