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

// The answer to a day's index request (code 2): whether the day holds recordings, its hours,
// minutes and cameras, and its recorded-minute map.
struct _INDEXREPLY {
    BYTE bFound;  // 0: the day has no recordings
    BYTE reserved[3];
    DWORD bHourHasRec[24];
    DWORD bMinuteHasRec[1440];
    DWORD bCamExist[64];
    DWORD reserved2;
    BYTE recMap[kMinuteMapBytes];
};
static_assert(sizeof(_INDEXREPLY) == 98284, "index reply");
static_assert(offsetof(_INDEXREPLY, bHourHasRec) == 4);
static_assert(offsetof(_INDEXREPLY, bMinuteHasRec) == 100);
static_assert(offsetof(_INDEXREPLY, bCamExist) == 5860);
static_assert(offsetof(_INDEXREPLY, recMap) == 6120);

// The answer to a size request (code 3): the request's first 44 bytes, then the sizes.
struct _ADDSIZEREPLY {
    char szDay[9];
    char szStart[5];
    char szEnd[5];
    char szEntry[25];
    DWORD nSize;         // KB of the entry; 0: nothing to back up
    DWORD nAddTotal;     // KB to add to the schedule's total
    DWORD nSelCamCount;  // selected cameras that hold data
};
static_assert(sizeof(_ADDSIZEREPLY) == 56, "add-size reply");
static_assert(offsetof(_ADDSIZEREPLY, nSize) == 44);

// Message 0xBD2: the progress of a download.
struct _DOWNLOADPROGRESS {
    DWORD reserved;
    char szName[1024];  // the item being transferred
    DWORD nTotal;
    DWORD reserved2;
    DWORD nDone;
};
static_assert(sizeof(_DOWNLOADPROGRESS) == 1040, "download progress");
static_assert(offsetof(_DOWNLOADPROGRESS, nTotal) == 1028);
static_assert(offsetof(_DOWNLOADPROGRESS, nDone) == 1036);
