#pragma once
// The tool's own files between runs (reserve.dat, minute maps) and the day map of the recorder.
#include <string>

#include "backup/BackupContext.h"

// Creates "%s\%s\%s" of parent, entry and day and writes "%s\%s.DAT" of it from m_SelMap.
bool SaveMinuteMap(BackupContext& ctx, const std::string& parent, const std::string& entry,
                   const std::string& day);
// Creates the working folder and writes reserve.dat (24400 bytes); false when it cannot.
bool SaveScheduleTable(BackupContext& ctx);
// Reads up to 24400 bytes of reserve.dat into the table; a missing file leaves it as it is.
bool LoadScheduleTable(BackupContext& ctx);
// Deletes the folder and everything below it; single failures are passed over.
void DeleteFolderTree(const std::string& folder);
// Empties the schedule table, zeroes the total and deletes the working folder.
void ClearReservedFolder(BackupContext& ctx);
// Loads the day map "%s\%s.dat" of folder and day into m_RecMap and the hour, minute and camera
// flags (only set, never cleared here).
BOOL LoadDayMinuteMap(BackupContext& ctx, const std::string& folder, const std::string& day);
// Clears m_RecMap and loads the day's map from the recordings root.
BOOL ScanRecordedDay(BackupContext& ctx, const std::string& day);
// Reads a 92164-byte minute map file; false when it does not open.
bool ReadMinuteMapFile(const std::string& path, MinuteMapBlock& map);
