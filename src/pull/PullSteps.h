#pragma once
// What one run of a pull needs from outside the core: the recorder's answers over the link, the
// schedule's commands, the backup pass and the check of its image. The front end provides them,
// so that the run's rules (PullJob.h) know nothing of HTTP or MP4 files.
#include <string>
#include <vector>

#include "backup/pass/PassRun.h"
#include "backup/schedule/ScheduleListing.h"
#include "platform/Error.h"
#include "pull/PullRange.h"

namespace pull {

// How the run's pass ended.
struct PassResult {
    bool complete = false;        // the backup went through whole
    backup::PassOutcome outcome;  // what the pass left (as it was when nothing ran)
    std::string linkWhy;          // the link's reason for its end, "" when it gave none
    std::string told;             // the last box the pass showed the operator, "" when none
};

class PullSteps {
  public:
    virtual ~PullSteps() = default;

    // Whether the session's own files can be used, before the run waits for its turn, or why not.
    virtual platform::Outcome Check() { return platform::Succeeded(); }
    // The session's working folder, opened under the base folder's lock, or why not.
    virtual platform::Outcome Open() = 0;
    // Something the run says on its way, at a journal level (the summary comes at the end).
    virtual void Note(int level, const std::string& text) = 0;
    // The recorder's recorded days (none when it said nothing why), or why it listed none.
    virtual platform::Expected<std::vector<std::string>> Days() = 0;

    // The schedule's list row label of a range.
    virtual std::string Label(const PullEntry& range) const = 0;
    virtual backup::ScheduleListing Schedule() const = 0;
    // The cameras (from 1) that recorded in range; none when its day holds no recordings. Why
    // not when the recorder did not say.
    virtual platform::Expected<std::vector<int>> CamerasRecordedIn(const PullEntry& range) = 0;
    // An entry of range with cameras (none: all) scheduled; false when it was not made.
    virtual bool Add(const PullEntry& range, const std::vector<int>& cameras) = 0;
    // The entry of a list row taken out of the schedule; false when it could not be.
    virtual bool Delete(const std::string& label) = 0;

    // The schedule backed up into folder (a host path).
    virtual PassResult RunPass(const std::string& folder) = 0;
    // Whether the image in folder checks against its manifest; partialWhole: a partial image
    // whose listed files all check passes too.
    virtual bool Verify(const std::string& folder, bool partialWhole) = 0;
};

}  // namespace pull
