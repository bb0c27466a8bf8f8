#pragma once
// The records that cross to the remote recorder's link: the size request of a remote Add and the
// image request of one entry. Both are file-format-like: fixed sizes, little-endian, no padding.
#include <cstddef>

#include "records/ScheduleEntry.h"

struct _BACKUPADDTOTALSIZE {
    char szDay[9];     // YYYYMMDD
    char szStart[5];   // hhmm
    char szEnd[5];     // hhmm
    char szEntry[25];  // entry string
    DWORD bHourHasRec[24];
    DWORD bMinuteHasRec[1440];
    DWORD bCamSel[64];
    DWORD nCamCount;
};
static_assert(sizeof(_BACKUPADDTOTALSIZE) == 6160, "size request");
static_assert(offsetof(_BACKUPADDTOTALSIZE, bHourHasRec) == 44);
static_assert(offsetof(_BACKUPADDTOTALSIZE, bMinuteHasRec) == 140);
static_assert(offsetof(_BACKUPADDTOTALSIZE, bCamSel) == 5900);
static_assert(offsetof(_BACKUPADDTOTALSIZE, nCamCount) == 6156);

struct _BACKUPMAKEIMAGE {
    std::int32_t nTargetType;
    std::int32_t nDateType;
    std::int32_t nSlot;
    ScheduleEntry entry;
};
static_assert(sizeof(_BACKUPMAKEIMAGE) == 500, "image request");
static_assert(offsetof(_BACKUPMAKEIMAGE, entry) == 12);
