#pragma once
// The day the operator picked and what of it is chosen: which hours, minutes and cameras have
// recordings, the recorder's minute maps of the day, and the cameras selected. One owner: the
// front end's context; a day's index answered to a remote client fills one of its own.
#include <string>

#include "platform/Types.h"
#include "records/ScheduleEntry.h"

namespace backup {

struct DaySelection {
    std::string date;  // YYYYMMDD of the day picked, "" for none
    DWORD hourHasRec[24] = {};
    DWORD camExist[64] = {};
    DWORD minuteHasRec[1440] = {};
    DWORD startHourMinutes[60] = {};  // minutes of the chosen start hour that have recordings
    DWORD endHourMinutes[60] = {};    // the same for the end hour
    int lastStartHour = -1;           // hour whose minutes the start-minute list holds, -1 none
    int lastEndHour = -1;
    DWORD camSel[64] = {};
    int camPage = 0;
    int selCamCount = 0;
    int existCamCount = 0;
    MinuteMapBlock recMap{};  // the recorder's map of the day
    MinuteMapBlock selMap{};  // the map of the entry being added
    MinuteMapBlock dayMapTmp{};
};

}  // namespace backup
