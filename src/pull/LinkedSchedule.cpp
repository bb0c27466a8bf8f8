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

platform::Expected<bool> LinkedSchedule::ChooseDay(const PullEntry& range) {
    const backup::LoadedDay loaded = session_.LoadDay(range.day);
    if (loaded.answer == backup::DayAnswer::kNoAnswer) {
        const backup::HostSettings host = session_.Host();
        return platform::Error{platform::Error::Kind::kFailed,
                               "the recorder at " + host.serverAddress + ":" +
                                   std::to_string(host.port) + " did not answer",
                               ""};
    }
    if (loaded.answer == backup::DayAnswer::kTrouble)
        return platform::Error{platform::Error::Kind::kFailed, loaded.why, ""};
    return loaded.answer == backup::DayAnswer::kRecorded;
}

platform::Expected<std::vector<int>> LinkedSchedule::CamerasRecordedIn(const PullEntry& range) {
    const platform::Expected<bool> found = ChooseDay(range);
    if (!found)
        return found.error();
    if (!*found)
        return std::vector<int>();
    session_.ChooseRange(Fields(range));
    return session_.CamerasInRange();
}

bool LinkedSchedule::Add(const PullEntry& range, const std::vector<int>& cameras) {
    if (const platform::Expected<bool> found = ChooseDay(range); !found || !*found)
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
