#pragma once
// What makes a record read back from the working folder impossible. The tool never writes such
// a record; another writer, a damaged disk or a hand may. Each check answers what is wrong, in
// words an operator can act on, or "" when the record can be trusted.
#include <string>

#include "records/BackupInfo.h"
#include "records/ScheduleEntry.h"

// A start or end key: YYYYMMDDhhmm of a real date and time.
bool IsTimeKey(const std::string& key);
// One slot of reserve.dat: a free slot is all zero where Delete leaves it so; a used one has
// keys of one day in order and camera and state flags of 0 or 1.
std::string CheckScheduleSlot(const ScheduleEntry& slot);
// Every slot, and no two used slots for the same range ("slot 7: ...").
std::string CheckScheduleTable(const ScheduleTable& table);
// A minute map: bytes of 0 or 1 and the four closing bytes zero.
std::string CheckMinuteMap(const MinuteMapBlock& map);
// BackupInfo.dat: a real date and range, terminated texts; when entry is given, the range of
// that entry string.
std::string CheckEntryInfo(const BackupInfoRecord& info, const std::string& entry = "");
