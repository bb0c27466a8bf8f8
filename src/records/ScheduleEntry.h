#pragma once
// One slot of the 50-slot schedule table, and the entry's text forms. The table is also the byte
// image of reserve.dat, so the record's layout is a file format.
#include <array>
#include <bitset>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/Types.h"

constexpr int kScheduleSlots = 50;
constexpr int kMaxCameras = 64;
constexpr std::size_t kMinuteMapBytes = 64 * 1440 + 4;  // camera-major, then 4 zero bytes

struct ScheduleEntry {
    DWORD bUsed;
    char szStart[15];  // start key YYYYMMDDhhmm
    char szEnd[17];    // end key
    DWORD bCam[64];
    BYTE reserved1[128];
    DWORD nSize;  // KB
    DWORD bAllCam;
    DWORD bMade;
    DWORD bPending;
    BYTE reserved2[52];
};
static_assert(sizeof(ScheduleEntry) == 488, "reserve.dat record");
static_assert(offsetof(ScheduleEntry, szStart) == 4);
static_assert(offsetof(ScheduleEntry, szEnd) == 19);
static_assert(offsetof(ScheduleEntry, bCam) == 36);
static_assert(offsetof(ScheduleEntry, nSize) == 420);
static_assert(offsetof(ScheduleEntry, bAllCam) == 424);
static_assert(offsetof(ScheduleEntry, bMade) == 428);
static_assert(offsetof(ScheduleEntry, bPending) == 432);

using ScheduleTable = std::array<ScheduleEntry, kScheduleSlots>;
static_assert(sizeof(ScheduleTable) == 24400, "reserve.dat");

using MinuteMapBlock = std::array<BYTE, kMinuteMapBytes>;

// The cameras of an entry (bit n: camera n, 0-based).
using CameraSet = std::bitset<kMaxCameras>;
CameraSet CamerasOf(const ScheduleEntry& entry);

// Whether text has the entry string's shape ("2026_01_06=10,00~10,12"), digits where they go.
bool IsEntryString(const std::string& text);
// "YYYY_MM_DD=hh,mm~HH,MM" from the day (8 digits) and four two-digit texts.
std::string MakeEntryString(const std::string& day, const std::string& sh, const std::string& sm,
                            const std::string& eh, const std::string& em);
// Display label of the date type ("2010-05-12 - 08:00 ~ 09:30"); "" for a type outside 0..8.
std::string EntryToLabel(const std::string& entry, int dateType);
std::string LabelToEntry(const std::string& label, int dateType);
// Label separators back to entry-string separators, date parts left in their order.
std::string NormalizeLabelSeparators(const std::string& text, int dateType);
// Start key (which 0) or end key (which 1), 12 characters.
std::string EntryTimeKey(const std::string& entry, int which);
// "YYYYMMDDhhmmHHMM" of an entry string.
std::string EntryRangeKey(const std::string& entry);
std::optional<int> FindFreeSlot(const ScheduleTable& table);
// Fills selMap with the recorded minutes (recMap byte exactly 1) of the slot's range and cameras.
void BuildMinuteMap(const ScheduleTable& table, int slot, const MinuteMapBlock& recMap,
                    MinuteMapBlock& selMap);
// Whether one of the map's cameras recorded in the minute.
bool MinuteRecorded(const MinuteMapBlock& map, int hour, int minute);
// The text of a fixed character field: up to its first NUL, at most room characters (a record
// from the link may leave it unterminated).
std::string FieldText(const char* field, std::size_t room);
// The slot's start and end keys, and their setting (cut to the fields' room).
std::string StartKey(const ScheduleEntry& entry);
std::string EndKey(const ScheduleEntry& entry);
// The two-digit number at pos of such a key (8: the hour, 10: the minute); 0 past its end.
int KeyNumberAt(const std::string& key, std::size_t pos);
void SetKeys(ScheduleEntry& entry, const std::string& startKey, const std::string& endKey);
// The used slot whose keys equal startKey and endKey (how a list row finds its slot), or null.
ScheduleEntry* FindSlotByKeys(ScheduleTable& table, const std::string& startKey,
                              const std::string& endKey);
const ScheduleEntry* FindSlotByKeys(const ScheduleTable& table, const std::string& startKey,
                                    const std::string& endKey);
// Entry string of a slot, from its keys.
std::string SlotEntryString(const ScheduleEntry& entry);
// The name of the folder that holds a slot's entry in the image.
std::string ImageEntryName(const ScheduleEntry& e, int dateType);
// Empties a slot as Delete does.
void ClearSlot(ScheduleEntry& entry);
