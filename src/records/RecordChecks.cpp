#include "records/RecordChecks.h"

#include <cstdlib>
#include <cstring>

namespace {

int Num(const std::string& s, std::size_t pos, std::size_t len) {
    return std::atoi(s.substr(pos, len).c_str());
}

bool Digits(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] < '0' || p[i] > '9')
            return false;
    return true;
}

bool Flag(DWORD v) {
    return v == 0 || v == 1;
}

bool AllZero(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i)
        if (b[i])
            return false;
    return true;
}

bool Terminated(const char* text, std::size_t size) {
    return std::memchr(text, '\0', size) != nullptr;
}

}  // namespace

bool IsTimeKey(const std::string& key) {
    if (key.size() != 12 || !Digits(key.data(), 12))
        return false;
    const int month = Num(key, 4, 2), day = Num(key, 6, 2);
    return Num(key, 0, 4) > 0 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           Num(key, 8, 2) <= 23 && Num(key, 10, 2) <= 59;
}

std::string CheckScheduleSlot(const ScheduleEntry& slot) {
    if (!Flag(slot.bUsed))
        return "its used flag is " + std::to_string(slot.bUsed);
    if (!Flag(slot.bAllCam) || !Flag(slot.bMade) || !Flag(slot.bPending))
        return "its state flags are not 0 or 1";
    for (int c = 0; c < kMaxCameras; ++c)
        if (!Flag(slot.bCam[c]))
            return "its flag of camera " + std::to_string(c + 1) + " is not 0 or 1";
    if (!slot.bUsed) {
        if (slot.szStart[0] || slot.szEnd[0] || slot.nSize)
            return "it is free but holds a range or a size";
        return std::string();
    }
    if (!Terminated(slot.szStart, sizeof slot.szStart) ||
        !Terminated(slot.szEnd, sizeof slot.szEnd))
        return "its keys are not terminated";
    const std::string start = StartKey(slot), end = EndKey(slot);
    if (!IsTimeKey(start) || !IsTimeKey(end))
        return "its range " + start + " - " + end + " is not a day and two times";
    if (start.compare(0, 8, end, 0, 8) != 0 || start > end)
        return "its range " + start + " - " + end + " does not run forward within one day";
    if (AllZero(slot.bCam, sizeof slot.bCam))
        return "it has no camera";
    return std::string();
}

std::string CheckScheduleTable(const ScheduleTable& table) {
    for (int i = 0; i < kScheduleSlots; ++i) {
        const std::string problem = CheckScheduleSlot(table[i]);
        if (!problem.empty())
            return "slot " + std::to_string(i + 1) + ": " + problem;
        for (int j = 0; j < i && table[i].bUsed; ++j)
            if (table[j].bUsed && StartKey(table[j]) == StartKey(table[i]) &&
                EndKey(table[j]) == EndKey(table[i]))
                return "slots " + std::to_string(j + 1) + " and " + std::to_string(i + 1) +
                       " hold the same range";
    }
    return std::string();
}

std::string CheckMinuteMap(const MinuteMapBlock& map) {
    for (std::size_t i = 0; i < 64 * 1440; ++i)
        if (map[i] > 1)
            return "camera " + std::to_string(i / 1440 + 1) + " at minute " +
                   std::to_string(i % 1440) + " holds " + std::to_string(map[i]);
    if (!AllZero(map.data() + 64 * 1440, 4))
        return "its closing bytes are not zero";
    return std::string();
}

std::string CheckEntryInfo(const BackupInfoRecord& info, const std::string& entry) {
    if (info.year < 1 || info.year > 9999 || info.month < 1 || info.month > 12 || info.day < 1 ||
        info.day > 31)
        return "its date is not a real day";
    if (info.startHour > 23 || info.endHour > 23 || info.startMinute > 59 || info.endMinute > 59 ||
        info.startHour * 100 + info.startMinute > info.endHour * 100 + info.endMinute)
        return "its time range is impossible";
    if (!Terminated(info.memo, sizeof info.memo) || !Terminated(info.text, sizeof info.text))
        return "its memo is not terminated";
    for (const auto& name : info.cameraName)
        if (!Terminated(name, sizeof name))
            return "a camera name is not terminated";
    if (!entry.empty()) {
        char own[32];
        std::snprintf(own, sizeof own, "%04u_%02u_%02u=%02u,%02u~%02u,%02u", info.year, info.month,
                      info.day, info.startHour, info.startMinute, info.endHour, info.endMinute);
        if (entry != own)
            return std::string("it describes ") + own + ", not " + entry;
    }
    return std::string();
}
