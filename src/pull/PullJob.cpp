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

platform::Outcome PullJob::Configure() {
    const platform::Expected<PullConfig> conf = ReadPullConfig(name_);
    if (!conf)
        return conf.error();
    return Configure(*conf);
}

platform::Outcome PullJob::Configure(const PullConfig& conf) {
    conf_ = conf;
    // The range is the recorder's days and minutes: reckoned in its zone when it is not ours.
    if (!conf_.timeZone.empty())
        if (platform::Outcome zone = platform::UseTimeZone(conf_.timeZone); !zone)
            return zone;
    // The range is checked before anything: the real one is taken under the list's lock.
    if (const auto entries = PullEntries(conf_.range, now_); !entries)
        return entries.error();
    return platform::Succeeded();
}

PullOutcome PullJob::Run(PullSteps& steps, const std::string& address, int port) {
    if (!platform::CreateDirectoryTree(base_))
        return Failed("its base folder " + base_ + " cannot be made");
    OneRun run{*this, steps, RunFolders(base_, conf_.target)};
    std::vector<std::string> days;
    if (std::optional<PullOutcome> failed = run.Begin(address, port, days))
        return *failed;
    if (std::optional<PullOutcome> failed = run.Schedule(days))
        return *failed;
    return run.Fetch();
}

// The list of ranges, the target, the turn against the recorder, the session and the killed
// run's folder, then the recorder's days.
std::optional<PullOutcome> PullJob::OneRun::Begin(const std::string& address, int port,
                                                  std::vector<std::string>& days) {
    const PullConfig& conf = job.conf_;
    // What earlier runs could not fetch comes first; a range is kept until a run fetched it.
    const auto wanted = [&](std::time_t& reached) {
        return PullEntries(conf.range, job.now_, &reached);
    };
    std::string listAside;
    if (const platform::Outcome changed =
            ChangePending(job.base_, wanted, {}, earlier, pending, &listAside);
        !changed)
        return job.Failed(changed.error().Said());
    if (!listAside.empty())
        steps.Note(4, "pull " + job.name_ + ": " + listAside);
    // The target is made once by whoever sets the recorder up: one that is not there is on a
    // disk not mounted, and a folder made in its place would fill the disk below.
    if (!platform::IsDirectory(conf.target))
        return Failed("its target " + conf.target + " is not there; is its disk mounted?");
    // Runs against one recorder take turns (its server fetches an entry for one client at a
    // time), and so do two of one instance, on its base folder; a run against another recorder
    // (one stuck there among them) keeps none of them waiting, as the machine's lock would.
    if (const platform::Outcome checked = steps.Check(); !checked)
        return Failed(checked.error().Said());
    recorder = platform::NamedLock::Acquire(RecorderLockName(address, port), true);
    if (!recorder.lock)
        return Failed(recorder.problem);
    if (const platform::Outcome opened = steps.Open(); !opened)
        return Failed(opened.error().Said());
    // The image folder of a run that was killed is set aside as a failed run's is.
    std::string warning;
    if (const platform::Outcome killed = runs.SetAsideKilledRun(warning); !killed)
        return Failed(killed.error().Said());
    if (!warning.empty())
        steps.Note(4, "pull " + job.name_ + ": " + warning);
    const platform::Expected<std::vector<std::string>> listed = steps.Days();
    if (!listed)
        return Failed(conf.remote + ": " + listed.error().Said());
    // A recorder in service has recorded days: none at all is a recorder whose recordings are
    // not there (a disk not mounted), and what it would have shown is fetched once they are.
    if (listed->empty())
        return Failed(conf.remote +
                      ": the recorder lists no recorded day; are its recordings there?");
    days = *listed;
    return std::nullopt;
}

// The schedule's stale entries out, then an entry of each range with the cameras of the list
// that recorded in it, as long as there are slots.
std::optional<PullOutcome> PullJob::OneRun::Schedule(const std::vector<std::string>& days) {
    const PullConfig& conf = job.conf_;
    // The schedule holds no entry the list no longer holds: one of a run that failed, whose
    // range has grown into a larger one since, would be fetched twice and keep its slot.
    for (const backup::ListedEntry& row : steps.Schedule().entries)
        if (std::none_of(pending.begin(), pending.end(),
                         [&](const PullEntry& e) { return steps.Label(e) == row.label; }) &&
            !steps.Delete(row.label))
            return Failed("the entry " + row.label + " of an earlier run cannot be taken out of " +
                          job.base_);
    for (const backup::ListedEntry& row : steps.Schedule().entries)
        entries += row.slot >= 0 ? 1 : 0;
    for (const PullEntry& e : pending) {
        if (std::find(days.begin(), days.end(), e.day) == days.end()) {
            took.push_back(e);
            continue;  // nothing recorded that day
        }
        if (steps.Schedule().Held(steps.Label(e))) {
            took.push_back(e);
            continue;  // scheduled by a run that failed, and fetched now
        }
        if (entries >= kScheduleSlots) {
            ++left;
            continue;
        }
        const platform::Expected<std::vector<int>> found = steps.CamerasRecordedIn(e);
        if (!found)
            return Failed(conf.remote + ": " + found.error().Said());
        const std::vector<int>& recorded = *found;
        // The cameras of the list that recorded nothing in a range: nothing a later run could
        // fetch.
        std::vector<int> cameras;
        for (const int camera : conf.cameraNumbers) {
            if (std::find(recorded.begin(), recorded.end(), camera) != recorded.end())
                cameras.push_back(camera);
            else
                silent +=
                    "; camera " + std::to_string(camera) + " recorded nothing in " + RangeText(e);
        }
        took.push_back(e);
        if (cameras.empty() && (!conf.cameraNumbers.empty() || recorded.empty()))
            continue;  // none of the cameras recorded in the range
        if (!steps.Add(e, cameras))
            return Failed("the range " + RangeText(e) + " could not be scheduled");
        ++entries;
    }
    if (entries == 0) {
        Taken();
        return PullOutcome{silent.empty() ? 5 : 4,
                           "pull " + job.name_ + ": nothing recorded in " + conf.range + silent, 0};
    }
    return std::nullopt;
}

// The run's own folder, the pass into it and its check, and the run's line.
PullOutcome PullJob::OneRun::Fetch() {
    const platform::Expected<std::string> claimed = runs.Claim(job.now_);
    if (!claimed)
        return Failed(claimed.error().Said());
    const std::string& folder = *claimed;
    // What a failed run wrote is no image of the range: it leaves the run's name for one that
    // says so, so that no one takes it for a run's image.
    const auto setAside = [&](const std::string& what) {
        const std::string aside = runs.SetAside(folder);
        return Failed(what + (aside.empty() ? "" : "; what arrived is in " + aside));
    };
    if (!runs.MarkInProgress(folder))
        return Failed("its base folder " + job.base_ + " cannot be written");
    const PassResult pass = steps.RunPass(folder);
    // Why, in the run's one line: the link's reason, else what the backup told the operator
    // (a refused start names the target, the space needed and the space free).
    std::string endedWhy = pass.linkWhy;
    if (endedWhy.empty()) {
        endedWhy = pass.told;
        for (std::size_t at; (at = endedWhy.find('\n')) != std::string::npos;)
            endedWhy.replace(at, 1, ": ");
    }
    // Every range fetched, lacking only what the recording lacks: no later run fetches more of
    // it, so the image stands and its ranges are done, but the run says it is not whole.
    const std::vector<std::string> lacks =
        !pass.complete && pass.outcome.Fetched() && pass.outcome.report.OnlyRecordingDamaged()
            ? pass.outcome.report.failures()
            : std::vector<std::string>();
    const std::string count = std::to_string(entries) + " entries";
    if (!pass.complete && lacks.empty())
        return setAside(count + " into " + folder + ": the backup did not complete" +
                        (endedWhy.empty() ? "" : " (" + endedWhy + ")"));
    if (!steps.Verify(folder, !lacks.empty()))
        return setAside(folder + " does not verify");
    runs.Finished();
    if (!Taken())
        return job.Failed("fetched into " + folder + ", but its list of ranges to fetch in " +
                          job.base_ + " cannot be cleared");
    const std::string done = "pull " + job.name_ + ": " + count + " (" +
                             std::to_string(earlier.size()) + " ranges from earlier runs) into " +
                             folder + (lacks.empty() ? ", verified" : ", verified as partial") +
                             silent;
    const std::string later =
        left > 0 ? "; " + std::to_string(left) +
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
    if (left > 0)
        return {4, done + later, 1};
    return {silent.empty() ? 5 : 4, done, 0};
}

PullOutcome PullJob::OneRun::Failed(const std::string& text) const {
    return job.Failed(text + (pending.empty() ? "" : "; the next run fetches what is missing"));
}

bool PullJob::OneRun::Taken() {
    std::vector<PullEntry> before, after;
    return ChangePending(job.base_, nullptr, took, before, after).ok();
}

}  // namespace pull
