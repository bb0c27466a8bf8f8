#include "pull/LinkedSchedule.h"

#include <algorithm>
#include <iterator>

#include "backup/schedule/ScheduleListing.h"
#include "records/ScheduleEntry.h"

namespace pull {

namespace {

backup::TimeFields Fields(const PullEntry& e) {
    return {e.start.substr(0, 2), e.start.substr(2, 2), e.end.substr(0, 2), e.end.substr(2, 2)};
}

}  // namespace

std::string LinkedSchedule::Label(const PullEntry& e) const {
    const backup::TimeFields t = Fields(e);
    return EntryToLabel(MakeEntryString(e.day, t.startHour, t.startMinute, t.endHour, t.endMinute),
                        session_.Host().dateType);
}

backup::ScheduleListing LinkedSchedule::Schedule() const {
    return session_.Schedule();
}

bool LinkedSchedule::ChooseDay(const PullEntry& range, bool& found, std::string& why) {
    const backup::LoadedDay loaded = session_.LoadDay(range.day);
    found = loaded.answer == backup::DayAnswer::kRecorded;
    if (loaded.answer == backup::DayAnswer::kNoAnswer) {
        const backup::HostSettings host = session_.Host();
        why = "the recorder at " + host.serverAddress + ":" + std::to_string(host.port) +
              " did not answer";
        return false;
    }
    if (loaded.answer == backup::DayAnswer::kTrouble) {
        why = loaded.why;
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
    session_.ChooseRange(Fields(range));
    cameras = session_.CamerasInRange();
    return true;
}

bool LinkedSchedule::Add(const PullEntry& range, const std::vector<int>& cameras) {
    bool found = false;
    std::string why;
    if (!ChooseDay(range, found, why) || !found)
        return false;
    session_.ChooseRange(Fields(range));
    if (session_.SelectCameras(cameras).refused())
        return false;
    if (session_.AddEntryAndWait(Fields(range)) != backup::AddAnswer::kAdded)
        return false;
    return Schedule().Held(Label(range)) != nullptr;
}

bool LinkedSchedule::Delete(const std::string& label) {
    return session_.DeleteEntry(label).done();
}

}  // namespace pull
