#pragma once
// The schedule steps of a pull's run (PullSteps.h) with the core's own commands, over the link
// to the remote recorder: the day's index and each entry's size are the recorder's answers,
// served from the inbox on the caller's thread. The rest of the steps are the front end's.
#include "app/CProfileReadWrite.h"
#include "backup/CameraSelection.h"
#include "backup/DaySelection.h"
#include "backup/HostSettings.h"
#include "backup/LinkInbox.h"
#include "backup/LinkState.h"
#include "backup/ScheduleCommands.h"
#include "backup/ScheduleState.h"
#include "pull/PullSteps.h"

namespace pull {

// The parts of a session the schedule steps work on.
struct ScheduleParts {
    const backup::HostSettings& host;
    const CProfileReadWrite& profile;
    const backup::ScheduleState& schedule;
    const backup::DaySelection& day;
    backup::DayChooser& chooser;
    backup::ScheduleEditor& editor;
    backup::LinkState& link;
    backup::LinkInbox& inbox;
};

class LinkedSchedule : public PullSteps {
  public:
    explicit LinkedSchedule(ScheduleParts parts) : p_(parts) {}

    std::string Label(const PullEntry& range) const override;
    backup::ScheduleListing Schedule() const override;
    bool CamerasRecordedIn(const PullEntry& range, std::vector<int>& cameras,
                           std::string& why) override;
    bool Add(const PullEntry& range, const std::vector<int>& cameras) override;
    bool Delete(const std::string& label) override;

  private:
    // The range's day chosen, its index awaited: whether it holds recordings; false with why
    // when the recorder did not say.
    bool ChooseDay(const PullEntry& range, bool& found, std::string& why);

    ScheduleParts p_;
};

}  // namespace pull
