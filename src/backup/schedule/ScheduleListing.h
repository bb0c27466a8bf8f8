#pragma once
// The schedule as a front end lists it, read once into values of its own: each listed entry in
// the list's order with its record and what its information file says, and the total.
#include <string>
#include <vector>

#include "app/CProfileReadWrite.h"
#include "backup/HostSettings.h"
#include "backup/schedule/ScheduleState.h"
#include "platform/Types.h"
#include "records/ScheduleEntry.h"

namespace backup {

struct ListedEntry {
    std::string label;        // as the list shows it
    int slot = -1;            // of the table; -1 when the table holds no entry of the label
    ScheduleEntry record{};   // zeroed without a slot
    std::string memo;         // from its information file
    DWORD model = 0;          // the recorder's model code there, else the host's
    std::string infoProblem;  // "" or "<path> is missing" / "<path> is damaged"
};

struct ScheduleListing {
    std::vector<ListedEntry> entries;
    DWORD totalKB = 0;
    std::string totalText;  // the total as the window shows it

    // The entry the table holds under label, if any.
    const ListedEntry* Held(const std::string& label) const;
};

ScheduleListing ListSchedule(const HostSettings& host, const CProfileReadWrite& profile,
                             const ScheduleState& schedule);

}  // namespace backup
