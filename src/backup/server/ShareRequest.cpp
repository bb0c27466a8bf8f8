#include "backup/server/ShareRequest.h"

#include <algorithm>
#include <cstring>

const char* const kNotAnEntryOfOneDay = "the image request does not describe an entry of one day";

namespace {

bool Digits(const char* field, std::size_t room, std::size_t count) {
    const std::size_t n = strnlen(field, room);
    if (n != count)
        return false;
    return std::all_of(field, field + n, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

backup::HostSettings ServedHost(const std::string& storageRoot, int cameras, int modelCode) {
    backup::HostSettings host;
    host.storageRoot = storageRoot;
    host.camCount = std::clamp(cameras, 0, kMaxCameras);
    host.modelCode = modelCode;
    return host;
}

bool IsRequestedDay(const std::string& day) {
    return day.size() == 8 && Digits(day.c_str(), 9, 8);
}

bool SizeRequestWellFormed(const _BACKUPADDTOTALSIZE& request) {
    return Digits(request.szDay, sizeof request.szDay, 8) &&
           Digits(request.szStart, sizeof request.szStart, 4) &&
           Digits(request.szEnd, sizeof request.szEnd, 4);
}

backup::HostSettings SizeRequestHost(backup::HostSettings served,
                                     const _BACKUPADDTOTALSIZE& request) {
    served.camCount = static_cast<int>(std::min<DWORD>(request.nCamCount, kMaxCameras));
    return served;
}

backup::DaySelection SizeRequestSelection(const _BACKUPADDTOTALSIZE& request) {
    backup::DaySelection sel;
    std::memcpy(sel.hourHasRec, request.bHourHasRec, sizeof sel.hourHasRec);
    std::memcpy(sel.minuteHasRec, request.bMinuteHasRec, sizeof sel.minuteHasRec);
    for (int c = 0; c < kMaxCameras; ++c)
        sel.camSel[c] = request.bCamSel[c] ? 1 : 0;
    return sel;
}

std::string ImageRequestProblem(const _BACKUPMAKEIMAGE& request) {
    const ScheduleEntry& entry = request.entry;
    const std::string startKey = StartKey(entry), endKey = EndKey(entry);
    if (request.nSlot < 0 || request.nSlot >= kScheduleSlots ||
        !Digits(entry.szStart, sizeof entry.szStart, 12) ||
        !Digits(entry.szEnd, sizeof entry.szEnd, 12) || startKey.compare(0, 8, endKey, 0, 8) != 0 ||
        startKey > endKey)
        return kNotAnEntryOfOneDay;
    return std::string();
}

int RequestedDateType(const _BACKUPMAKEIMAGE& request) {
    return std::clamp(request.nDateType, 0, 8);
}

backup::DaySelection EntryCameras(const backup::HostSettings& host, const ScheduleEntry& entry) {
    backup::DaySelection sel;
    for (int c = 0; c < kMaxCameras; ++c)
        sel.camSel[c] = (entry.bAllCam ? c < host.camCount : entry.bCam[c] != 0) ? 1 : 0;
    return sel;
}
