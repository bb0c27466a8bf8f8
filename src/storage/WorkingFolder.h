#pragma once
// The tool's own files between runs (reserve.dat, minute maps) and the recorder's day map. Every
// file is written under a temporary name and renamed when whole; what is read back is checked
// before it is trusted.
#include <string>

#include "records/ScheduleEntry.h"

namespace storage {

// Creates "%s\%s\%s" of parent, entry and day and writes "%s\%s.DAT" of it; false when either
// cannot be made.
bool SaveMinuteMap(const std::string& parent, const std::string& entry, const std::string& day,
                   const MinuteMapBlock& map);

// Creates the working folder of base and writes reserve.dat (24400 bytes); false when it cannot.
bool SaveScheduleTable(const std::string& base, const ScheduleTable& table);

struct ScheduleLoad {
    enum Outcome { kMissing, kLoaded, kRejected } outcome = kMissing;
    std::string problem;  // why a rejected file could not be trusted
};
// Reads reserve.dat into the table. A missing file leaves the table as it is. A file of the
// wrong size or with impossible slots is rejected: the table is left as it is and the file is
// kept beside as "reserve.dat.damaged", so that the next save cannot destroy it.
ScheduleLoad LoadScheduleTable(const std::string& base, ScheduleTable& table);
// Reads reserve.dat as it is now, touching nothing; false when it is missing or not a schedule.
bool PeekScheduleTable(const std::string& base, ScheduleTable& table);

// Deletes the folder and everything below it; single failures are passed over and a symbolic
// link is removed itself, never followed.
void DeleteFolderTree(const std::string& folder);
// Removes reserve.dat of base; true when it is gone (or was never there).
bool RemoveScheduleFile(const std::string& base);
// Deletes the working folder of base, reserve.dat first.
void ClearWorkingFolder(const std::string& base);

struct MapRead {
    bool found = false;   // the file opened
    std::string problem;  // why its content cannot be trusted ("" when it can)
};
// Reads a minute map file: exactly 92164 bytes of 0 or 1 and four zero bytes. The map is
// cleared when the file is missing or damaged.
MapRead ReadMinuteMapFile(const std::string& path, MinuteMapBlock& map);

// Reads up to 92164 bytes of the recorder's day map "%s\%s.dat" of folder and day into map
// (cleared first); false when it does not open.
bool ReadDayMap(const std::string& folder, const std::string& day, MinuteMapBlock& map);

// Removes what a killed run left half-written in the working folder and its entry folders.
void RemoveLeftovers(const std::string& base);

}  // namespace storage
