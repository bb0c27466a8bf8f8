#include "records/ScheduleEntry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const char kDateSeparators[3] = {'-', '/', '.'};

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
    std::size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::string Sub(const std::string& s, std::size_t pos, std::size_t len) {
    return pos < s.size() ? s.substr(pos, len) : std::string();
}

std::string Join(const std::string& a, const std::string& b, const std::string& c,
                 const std::string& sh, const std::string& sm, const std::string& eh,
                 const std::string& em) {
    return a + "_" + b + "_" + c + "=" + sh + "," + sm + "~" + eh + "," + em;
}

}  // namespace

std::string MakeEntryString(const std::string& day, const std::string& sh, const std::string& sm,
                            const std::string& eh, const std::string& em) {
    return Join(Sub(day, 0, 4), Sub(day, 4, 2), Sub(day, 6, 2), sh, sm, eh, em);
}

std::string EntryToLabel(const std::string& entry, int dateType) {
    if (dateType < 0 || dateType > 8)
        return std::string();
    const std::string y = Sub(entry, 0, 4), m = Sub(entry, 5, 2), d = Sub(entry, 8, 2);
    const std::string sh = Sub(entry, 11, 2), sm = Sub(entry, 14, 2), eh = Sub(entry, 17, 2),
                      em = Sub(entry, 20, 2);
    std::string s;
    switch (dateType % 3) {
        case 0:
            s = Join(y, m, d, sh, sm, eh, em);
            break;
        case 1:
            s = Join(d, m, y, sh, sm, eh, em);
            break;
        default:
            s = Join(m, d, y, sh, sm, eh, em);
            break;
    }
    s = ReplaceAll(s, ",", ":");
    s = ReplaceAll(s, "~", " ~ ");
    s = ReplaceAll(s, "=", " - ");
    return ReplaceAll(s, "_", std::string(1, kDateSeparators[dateType / 3]));
}

std::string NormalizeLabelSeparators(const std::string& text, int dateType) {
    std::string s = text;
    if (dateType >= 6)
        s = ReplaceAll(s, ".", "_");
    s = ReplaceAll(s, ":", ",");
    s = ReplaceAll(s, " ~ ", "~");
    s = ReplaceAll(s, " - ", "=");
    if (dateType >= 0 && dateType < 6)
        s = ReplaceAll(s, std::string(1, kDateSeparators[dateType / 3]), "_");
    return s;
}

std::string LabelToEntry(const std::string& label, int dateType) {
    if (dateType < 0 || dateType > 8)
        return std::string();
    const std::string s = NormalizeLabelSeparators(label, dateType);
    std::string y, m, d;
    switch (dateType % 3) {
        case 0:
            y = Sub(s, 0, 4), m = Sub(s, 5, 2), d = Sub(s, 8, 2);
            break;
        case 1:
            d = Sub(s, 0, 2), m = Sub(s, 3, 2), y = Sub(s, 6, 4);
            break;
        default:
            m = Sub(s, 0, 2), d = Sub(s, 3, 2), y = Sub(s, 6, 4);
            break;
    }
    return Join(y, m, d, Sub(s, 11, 2), Sub(s, 14, 2), Sub(s, 17, 2), Sub(s, 20, 2));
}

std::string EntryTimeKey(const std::string& entry, int which) {
    const std::string date = Sub(entry, 0, 4) + Sub(entry, 5, 2) + Sub(entry, 8, 2);
    return which == 0 ? date + Sub(entry, 11, 2) + Sub(entry, 14, 2)
                      : date + Sub(entry, 17, 2) + Sub(entry, 20, 2);
}

std::string EntryRangeKey(const std::string& entry) {
    return EntryTimeKey(entry, 0) + Sub(entry, 17, 2) + Sub(entry, 20, 2);
}

std::optional<int> FindFreeSlot(const ScheduleTable& table) {
    for (int i = 0; i < kScheduleSlots; ++i)
        if (table[i].bUsed == 0)
            return i;
    return std::nullopt;
}

void BuildMinuteMap(const ScheduleTable& table, int slot, const MinuteMapBlock& recMap,
                    MinuteMapBlock& selMap) {
    selMap.fill(0);
    const ScheduleEntry& e = table[slot];
    const int start = std::atoi(std::string(e.szStart + 8, 4).c_str());
    const int end = std::atoi(std::string(e.szEnd + 8, 4).c_str());
    for (int h = 0; h < 24; ++h) {
        for (int m = 0; m < 60; ++m) {
            const int t = h * 100 + m;
            if (t < start || t > end)
                continue;
            for (int c = 0; c < kMaxCameras; ++c) {
                const std::size_t at = static_cast<std::size_t>(c) * 1440 + h * 60 + m;
                if (recMap[at] == 1 && e.bCam[c] == 1)
                    selMap[at] = 1;
            }
        }
    }
}

bool IsEntryString(const std::string& text) {
    static constexpr char kForm[] = "dddd_dd_dd=dd,dd~dd,dd";
    if (text.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kForm[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kForm[i])
            return false;
    return true;
}

bool MinuteRecorded(const MinuteMapBlock& map, int hour, int minute) {
    for (int c = 0; c < kMaxCameras; ++c)
        if (map[static_cast<std::size_t>(c) * 1440 + hour * 60 + minute])
            return true;
    return false;
}

std::string FieldText(const char* field, std::size_t room) {
    return std::string(field, strnlen(field, room));
}

std::string StartKey(const ScheduleEntry& entry) {
    return std::string(entry.szStart, strnlen(entry.szStart, sizeof entry.szStart));
}

std::string EndKey(const ScheduleEntry& entry) {
    return std::string(entry.szEnd, strnlen(entry.szEnd, sizeof entry.szEnd));
}

void SetKeys(ScheduleEntry& entry, const std::string& startKey, const std::string& endKey) {
    std::memset(entry.szStart, 0, sizeof entry.szStart);
    std::memset(entry.szEnd, 0, sizeof entry.szEnd);
    std::memcpy(entry.szStart, startKey.data(),
                std::min(startKey.size(), sizeof entry.szStart - 1));
    std::memcpy(entry.szEnd, endKey.data(), std::min(endKey.size(), sizeof entry.szEnd - 1));
}

const ScheduleEntry* FindSlotByKeys(const ScheduleTable& table, const std::string& startKey,
                                    const std::string& endKey) {
    for (const auto& e : table)
        if (e.bUsed && StartKey(e) == startKey && EndKey(e) == endKey)
            return &e;
    return nullptr;
}

ScheduleEntry* FindSlotByKeys(ScheduleTable& table, const std::string& startKey,
                              const std::string& endKey) {
    return const_cast<ScheduleEntry*>(
        FindSlotByKeys(static_cast<const ScheduleTable&>(table), startKey, endKey));
}

std::string SlotEntryString(const ScheduleEntry& entry) {
    const std::string s = StartKey(entry), e = EndKey(entry);
    return MakeEntryString(Sub(s, 0, 8), Sub(s, 8, 2), Sub(s, 10, 2), Sub(e, 8, 2), Sub(e, 10, 2));
}

std::string ImageEntryName(const ScheduleEntry& e, int dateType) {
    return NormalizeLabelSeparators(SlotEntryString(e), dateType);
}

void ClearSlot(ScheduleEntry& entry) {
    entry.bUsed = 0;
    entry.bPending = 0;
    SetKeys(entry, "", "");
    entry.nSize = 0;
    std::memset(entry.bCam, 0, sizeof entry.bCam);
}

CameraSet CamerasOf(const ScheduleEntry& entry) {
    CameraSet cams;
    for (int c = 0; c < kMaxCameras; ++c)
        cams[static_cast<std::size_t>(c)] = entry.bCam[c] != 0;
    return cams;
}

int KeyNumberAt(const std::string& key, std::size_t pos) {
    return pos < key.size() ? std::atoi(key.substr(pos, 2).c_str()) : 0;
}
