#pragma once
// The image folders a pull's runs make in their target, one a run, named by its start
// (2026-12-08_030512, -2 and on after it). A failed run's folder is set aside under a name that
// says so, and only the last one an instance left is kept, so that runs failing on a full disk
// do not fill it with one more each; a run killed on its way leaves its folder named in the base
// folder for the next run to set aside.
#include <ctime>
#include <string>

#include "platform/Error.h"

namespace pull {

class RunFolders {
  public:
    // base: the instance's own folder; target: where its images go (both host paths).
    RunFolders(std::string base, std::string target);

    // The folder of a run that was killed, set aside as a failed run's is, and the state files
    // it left half-written gone. Under the base folder's lock. Why not when it cannot be
    // renamed; warning says why a folder named there was left as it is.
    platform::Outcome SetAsideKilledRun(std::string& warning);
    // Makes the run's own folder, claimed by making it: runs that start in one second into one
    // target each get another, never one already written. Why not when none can be made.
    platform::Expected<std::string> Claim(std::time_t now);
    // The run's folder is named as under way until Finished or SetAside; false when it cannot be.
    bool MarkInProgress(const std::string& folder);
    void Finished();
    // What a failed run wrote leaves the run's name for one that says so; the new name, or "".
    std::string SetAside(const std::string& folder);

    // "YYYY-MM-DD_HHMMSS" of a local time.
    static std::string Name(std::time_t when);

  private:
    // Whether folder is one a run made: a folder, not a link, right below the target, with a
    // run's name (and suffix after it, when given).
    bool MadeByARun(const std::string& folder, const std::string& suffix = "") const;

    std::string base_, target_;
};

}  // namespace pull
