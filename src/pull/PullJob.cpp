#include "pull/PullJob.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/NamedLock.h"
#include "platform/TimeZone.h"
#include "pull/PendingRanges.h"
#include "pull/RunFolders.h"
#include "records/ScheduleEntry.h"

namespace pull {

namespace {

// The ranges of one run put into the schedule: how many entries it holds, what a camera of the
// list did not record, and how many ranges wait beyond its slots.
struct RunPlan {
    int entries = 0;
    std::string silent;  // "; camera N recorded nothing in DAY HHMM-HHMM" for each
    std::size_t left = 0;
};

std::string RangeText(const PullEntry& e) {
    return e.day + " " + e.start + "-" + e.end;
}

}  // namespace

std::string RecorderLockName(const std::string& address, int port) {
    std::string name = "pull-" + address + "_" + std::to_string(port);
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-'))
            c = '_';
    return name;
}

PullJob::PullJob(std::string name, std::time_t now)
    : name_(std::move(name)), now_(now), base_(platform::MachinePrefix() + "/pull/" + name_) {}

PullOutcome PullJob::Failed(const std::string& why) const {
    return {3, "pull " + name_ + ": failed: " + why, 1};
}

std::optional<PullOutcome> PullJob::Configure() {
    PullConfig conf;
    std::string why;
    if (!ReadPullConfig(name_, conf, why))
        return Failed(why);
    return Configure(conf);
}

std::optional<PullOutcome> PullJob::Configure(const PullConfig& conf) {
    conf_ = conf;
    std::string why;
    // The range is the recorder's days and minutes: reckoned in its zone when it is not ours.
    if (!conf_.timeZone.empty() && !platform::UseTimeZone(conf_.timeZone, why))
        return Failed(why);
    // The range is checked before anything: the real one is taken under the list's lock.
    PullEntries(conf_.range, now_, why);
    if (!why.empty())
        return Failed(why);
    return std::nullopt;
}

PullOutcome PullJob::Run(PullSteps& steps, const std::string& address, int port) {
    const std::string& name = name_;
    std::string why;
    if (!platform::CreateDirectoryTree(base_))
        return Failed("its base folder " + base_ + " cannot be made");

    // What earlier runs could not fetch comes first; a range is kept until a run fetched it.
    std::vector<PullEntry> earlier, pending;
    const auto wanted = [&](std::time_t& reached, std::string& problem) {
        return PullEntries(conf_.range, now_, problem, &reached);
    };
    std::string listAside;
    if (!ChangePending(base_, wanted, {}, earlier, pending, why, &listAside))
        return Failed(why);
    if (!listAside.empty())
        steps.Note(4, "pull " + name + ": " + listAside);
    // Only the ranges this run took leave the list: those another run added meanwhile stay.
    std::vector<PullEntry> took;
    const auto taken = [&] {
        std::vector<PullEntry> before, after;
        std::string problem;
        return ChangePending(base_, nullptr, took, before, after, problem);
    };
    const auto fail = [&](const std::string& text) {
        return Failed(text + (pending.empty() ? "" : "; the next run fetches what is missing"));
    };

    // The target is made once by whoever sets the recorder up: one that is not there is on a
    // disk not mounted, and a folder made in its place would fill the disk below.
    if (!platform::IsDirectory(conf_.target))
        return fail("its target " + conf_.target + " is not there; is its disk mounted?");
    // Runs against one recorder take turns (its server fetches an entry for one client at a
    // time), and so do two of one instance, on its base folder; a run against another recorder
    // (one stuck there among them) keeps none of them waiting, as the machine's lock would.
    const platform::NamedLock::Attempt recorder =
        platform::NamedLock::Acquire(RecorderLockName(address, port), true);
    if (!recorder.lock)
        return fail(recorder.problem);
    if (const std::string problem = steps.Open(); !problem.empty())
        return fail(problem);
    // The image folder of a run that was killed is set aside as a failed run's is.
    RunFolders runs(base_, conf_.target);
    if (std::string warning; !runs.SetAsideKilledRun(why, warning))
        return fail(why);
    else if (!warning.empty())
        steps.Note(4, "pull " + name + ": " + warning);
    const std::vector<std::string> days = steps.Days(why);
    // A recorder in service has recorded days: none at all is a recorder whose recordings are
    // not there (a disk not mounted), and what it would have shown is fetched once they are.
    if (days.empty())
        return fail(
            conf_.remote + ": " +
            (why.empty() ? "the recorder lists no recorded day; are its recordings there?" : why));
    // The schedule holds no entry the list no longer holds: one of a run that failed, whose
    // range has grown into a larger one since, would be fetched twice and keep its slot.
    for (const backup::ListedEntry& row : steps.Schedule().entries)
        if (std::none_of(pending.begin(), pending.end(),
                         [&](const PullEntry& e) { return steps.Label(e) == row.label; }) &&
            !steps.Delete(row.label))
            return fail("the entry " + row.label + " of an earlier run cannot be taken out of " +
                        base_);
    RunPlan plan;
    for (const backup::ListedEntry& row : steps.Schedule().entries)
        plan.entries += row.slot >= 0 ? 1 : 0;
    for (const PullEntry& e : pending) {
        if (std::find(days.begin(), days.end(), e.day) == days.end()) {
            took.push_back(e);
            continue;  // nothing recorded that day
        }
        if (steps.Schedule().Held(steps.Label(e))) {
            took.push_back(e);
            continue;  // scheduled by a run that failed, and fetched now
        }
        if (plan.entries >= kScheduleSlots) {
            ++plan.left;
            continue;
        }
        std::vector<int> recorded;
        if (!steps.CamerasRecordedIn(e, recorded, why))
            return fail(conf_.remote + ": " + why);
        // The cameras of the list that recorded nothing in a range: nothing a later run could
        // fetch.
        std::vector<int> cameras;
        for (const int camera : conf_.cameraNumbers) {
            if (std::find(recorded.begin(), recorded.end(), camera) != recorded.end())
                cameras.push_back(camera);
            else
                plan.silent +=
                    "; camera " + std::to_string(camera) + " recorded nothing in " + RangeText(e);
        }
        took.push_back(e);
        if (cameras.empty() && (!conf_.cameraNumbers.empty() || recorded.empty()))
            continue;  // none of the cameras recorded in the range
        if (!steps.Add(e, cameras))
            return fail("the range " + RangeText(e) + " could not be scheduled");
        ++plan.entries;
    }
    if (plan.entries == 0) {
        taken();
        return {plan.silent.empty() ? 5 : 4,
                "pull " + name + ": nothing recorded in " + conf_.range + plan.silent, 0};
    }

    const std::string folder = runs.Claim(now_, why);
    if (folder.empty())
        return fail(why);
    // What a failed run wrote is no image of the range: it leaves the run's name for one that
    // says so, so that no one takes it for a run's image.
    const auto setAside = [&](const std::string& what) {
        const std::string aside = runs.SetAside(folder);
        return fail(what + (aside.empty() ? "" : "; what arrived is in " + aside));
    };
    if (!runs.MarkInProgress(folder))
        return fail("its base folder " + base_ + " cannot be written");
    const PassResult pass = steps.RunPass(folder);
    // Why, in the run's one line: the link's reason, else what the backup told the operator
    // (a refused start names the target, the space needed and the space free).
    std::string endedWhy = pass.linkWhy.empty() ? pass.told : pass.linkWhy;
    for (std::size_t at; (at = endedWhy.find('\n')) != std::string::npos;)
        endedWhy.replace(at, 1, ": ");
    // Every range fetched, lacking only what the recording lacks: no later run fetches more of
    // it, so the image stands and its ranges are done, but the run says it is not whole.
    const std::vector<std::string> lacks =
        !pass.complete && pass.outcome.Fetched() && pass.outcome.report.OnlyRecordingDamaged()
            ? pass.outcome.report.failures()
            : std::vector<std::string>();
    const std::string entries = std::to_string(plan.entries) + " entries";
    if (!pass.complete && lacks.empty())
        return setAside(entries + " into " + folder + ": the backup did not complete" +
                        (endedWhy.empty() ? "" : " (" + endedWhy + ")"));
    if (!steps.Verify(folder, !lacks.empty()))
        return setAside(folder + " does not verify");
    runs.Finished();
    if (!taken())
        return Failed("fetched into " + folder + ", but its list of ranges to fetch in " + base_ +
                      " cannot be cleared");
    const std::string done = "pull " + name + ": " + entries + " (" +
                             std::to_string(earlier.size()) + " ranges from earlier runs) into " +
                             folder + (lacks.empty() ? ", verified" : ", verified as partial") +
                             plan.silent;
    const std::string later =
        plan.left > 0 ? "; " + std::to_string(plan.left) +
                            " ranges did not fit its schedule, the next run fetches them"
                      : std::string();
    if (!lacks.empty())
        return {3,
                done + "; the recording is damaged, the image lacks " + lacks.front() +
                    (lacks.size() > 1 ? " (and " + std::to_string(lacks.size() - 1) + " more)"
                                      : std::string()) +
                    later,
                1};
    // A partial run: the rest is the next run's, which systemd is told to expect.
    if (plan.left > 0)
        return {4, done + later, 1};
    return {plan.silent.empty() ? 5 : 4, done, 0};
}

}  // namespace pull
