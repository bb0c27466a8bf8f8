#pragma once
// The entry information file "BackupInfo.dat": what a viewer needs to know of one entry.
#include <cstddef>

#include "platform/Types.h"

struct BackupInfoRecord {
    DWORD year, month, day;
    DWORD startHour, startMinute, endHour, endMinute;
    DWORD camCount;
    DWORD recorderKind;
    DWORD modelCode;
    char cameraName[64][31];
    char memo[255];
    BYTE flag;
    char text[52];
};
static_assert(sizeof(BackupInfoRecord) == 2332, "BackupInfo.dat");
static_assert(offsetof(BackupInfoRecord, camCount) == 28);
static_assert(offsetof(BackupInfoRecord, modelCode) == 36);
static_assert(offsetof(BackupInfoRecord, cameraName) == 40);
static_assert(offsetof(BackupInfoRecord, memo) == 2024);
static_assert(offsetof(BackupInfoRecord, flag) == 2279);
static_assert(offsetof(BackupInfoRecord, text) == 2280);
