#pragma once
// One unattended run of a pull instance (quillon-cli pull NAME): the ranges it takes, those
// earlier runs left, the schedule's stale entries, the cameras of each range, the schedule's
// slots, its image folder, the check of the image, and the one line that says how it went.
// What it needs of the recorder and the pass comes through PullSteps.
#include <ctime>
#include <optional>
#include <string>

#include <vector>

#include "platform/Error.h"
#include "platform/NamedLock.h"
#include "pull/PullConfig.h"
#include "pull/PullSteps.h"
#include "pull/RunFolders.h"

namespace pull {

// The run's one line for the journal, at its level, and the process's exit status.
struct PullOutcome {
    int level = 5;  // 3 error, 4 warning, 5 notice
    std::string text;
    int status = 0;
};

class PullJob {
  public:
    PullJob(std::string name, std::time_t now);

    // NAME's configuration read, its zone taken and its range checked, or why not (for Failed).
    platform::Outcome Configure();
    // The same with a configuration given.
    platform::Outcome Configure(const PullConfig& conf);
    const PullConfig& config() const { return conf_; }
    // The instance's own base folder, which keeps its schedule apart from every other's.
    const std::string& base() const { return base_; }

    // The run's failure for why.
    PullOutcome Failed(const std::string& why) const;
    // The run against the recorder at address:port.
    PullOutcome Run(PullSteps& steps, const std::string& address, int port);

  private:
    // One run's state, from its list of ranges to its line.
    struct OneRun {
        PullJob& job;
        PullSteps& steps;
        RunFolders runs;
        platform::NamedLock::Attempt recorder;  // held to the run's end
        std::vector<PullEntry> earlier, pending;
        // Only the ranges this run took leave the list: those another run added meanwhile stay.
        std::vector<PullEntry> took;
        int entries = 0;       // scheduled
        std::string silent;    // "; camera N recorded nothing in DAY HHMM-HHMM" for each
        std::size_t left = 0;  // ranges beyond the schedule's slots, for the next run

        std::optional<PullOutcome> Begin(const std::string& address, int port,
                                         std::vector<std::string>& days);
        std::optional<PullOutcome> Schedule(const std::vector<std::string>& days);
        PullOutcome Fetch();
        // A failure, saying that the ranges stay for the next run when there are any.
        PullOutcome Failed(const std::string& text) const;
        // The ranges this run took, out of the list.
        bool Taken();
    };

    std::string name_;
    std::time_t now_;
    std::string base_;
    PullConfig conf_;
};

// The lock of the runs against one recorder, named by its address and port (another name of the
// same machine is another lock).
std::string RecorderLockName(const std::string& address, int port);

}  // namespace pull
