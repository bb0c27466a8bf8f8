#pragma once
// The schedule steps of a pull's run (PullSteps.h) with the session's own commands, over the
// link to the remote recorder: the day's index and each entry's size are the recorder's
// answers, which the session waits for on the caller's thread. The rest of the steps are the front
// end's.
#include "backup/Session.h"
#include "pull/PullSteps.h"

namespace pull {

class LinkedSchedule : public PullSteps {
  public:
    explicit LinkedSchedule(backup::Session& session) : session_(session) {}

    std::string Label(const PullEntry& range) const override;
    backup::ScheduleListing Schedule() const override;
    platform::Expected<std::vector<int>> CamerasRecordedIn(const PullEntry& range) override;
    bool Add(const PullEntry& range, const std::vector<int>& cameras) override;
    bool Delete(const std::string& label) override;

  private:
    // The range's day chosen, its index awaited: whether it holds recordings, or why the
    // recorder did not say.
    platform::Expected<bool> ChooseDay(const PullEntry& range);

    backup::Session& session_;
};

}  // namespace pull
