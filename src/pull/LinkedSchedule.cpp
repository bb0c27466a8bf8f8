#include "pull/LinkedSchedule.h"

#include <algorithm>
#include <iterator>

#include "backup/ScheduleListing.h"
#include "records/ScheduleEntry.h"

namespace pull {

namespace {

// How long the recorder may take for a day's index, and for the size of an entry.
constexpr int kIndexMs = 60000;
constexpr int kSizeMs = 600000;

backup::TimeFields Fields(const PullEntry& e) {
    return {e.start.substr(0, 2), e.start.substr(2, 2), e.end.substr(0, 2), e.end.substr(2, 2)};
}

}  // namespace

std::string LinkedSchedule::Label(const PullEntry& e) const {
    const backup::TimeFields t = Fields(e);
    return EntryToLabel(MakeEntryString(e.day, t.startHour, t.startMinute, t.endHour, t.endMinute),
                        p_.host.dateType);
}

backup::ScheduleListing LinkedSchedule::Schedule() const {
    return backup::ListSchedule(p_.host, p_.profile, p_.schedule);
}

bool LinkedSchedule::ChooseDay(const PullEntry& range, bool& found, std::string& why) {
    p_.link.lastText.clear();
    p_.chooser.SelectBackupDay(range.day);
    if (!p_.inbox.ServeUntil(backup::LinkInbox::Awaited::kDayIndex, kIndexMs)) {
        why = "the recorder at " + p_.host.serverAddress + ":" + std::to_string(p_.host.port) +
              " did not answer";
        return false;
    }
    found = std::any_of(std::begin(p_.day.hourHasRec), std::end(p_.day.hourHasRec),
                        [](DWORD f) { return f; });
    // An index that did not come is the link's trouble, not an empty day.
    if (!found && !p_.link.lastText.empty()) {
        why = p_.link.lastText;
        return false;
    }
    return true;
}

bool LinkedSchedule::CamerasRecordedIn(const PullEntry& range, std::vector<int>& cameras,
                                       std::string& why) {
    cameras.clear();
    bool found = false;
    if (!ChooseDay(range, found, why))
        return false;
    if (!found)
        return true;
    p_.chooser.SetTimeRange(Fields(range));
    for (int c = 0; c < p_.host.camCount && c < kMaxCameras; ++c)
        if (p_.day.camExist[c])
            cameras.push_back(c + 1);
    return true;
}

bool LinkedSchedule::Add(const PullEntry& range, const std::vector<int>& cameras) {
    bool found = false;
    std::string why;
    if (!ChooseDay(range, found, why) || !found)
        return false;
    p_.chooser.SetTimeRange(Fields(range));
    if (cameras.empty())
        p_.chooser.OnSelectAllCameras();
    else if (p_.chooser.SelectCameras(cameras).refused())
        return false;
    if (p_.editor.OnAdd(Fields(range)).refused())
        return false;
    // A remote entry is made by the recorder's answer, or not at all (its box says why).
    if (!p_.inbox.ServeUntil(backup::LinkInbox::Awaited::kEntrySize, kSizeMs))
        return false;
    const backup::ScheduleListing listing = Schedule();
    const std::string label = Label(range);
    return std::any_of(
        listing.entries.begin(), listing.entries.end(),
        [&](const backup::ListedEntry& e) { return e.label == label && e.slot >= 0; });
}

bool LinkedSchedule::Delete(const std::string& label) {
    return p_.editor.DeleteEntry(label).done();
}

}  // namespace pull
