// quillon-cli pull NAME: one unattended run against a recorder of pull.d: its range scheduled
// on the recorder, backed up with its manifest into a new image folder, verified, and one line
// that says how it went. The schedule lives in a base folder of the instance's own, so that what
// a failed run left is fetched by the next one.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "CliCommands.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/JournalLevel.h"
#include "platform/NamedLock.h"
#include "platform/OwnerOnly.h"
#include "platform/TimeZone.h"
#include "pull/PendingRanges.h"
#include "pull/PullConfig.h"
#include "pull/PullRange.h"
#include "pull/RunFolders.h"

using namespace pull;

namespace {

// Whether the run's output goes to the journal, where all but its own lines are debug.
bool g_journal = false;

// One line for the journal: its level in front when the output is the journal's.
void Summary(int level, const std::string& text) {
    const std::string prefix = g_journal ? "<" + std::to_string(level) + ">" : "";
    std::printf("%s%s\n", prefix.c_str(), text.c_str());
    std::fflush(stdout);
}

int Failed(const std::string& name, const std::string& why) {
    Summary(3, "pull " + name + ": failed: " + why);
    return 1;
}

// The lock of the runs against one recorder, named by its address and port (another name of
// the same machine is another lock).
std::string RecorderLockName(const RemoteOptions& remote) {
    std::string name = "pull-" + remote.address + "_" + std::to_string(remote.port);
    for (char& c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-'))
            c = '_';
    return name;
}

int Pull(const CliArgs& a, CliOptions options);

}  // namespace

int CmdPull(const CliArgs& a, CliOptions options) {
    // The journal keeps one line of a run at notice or above: what the commands of the run
    // print (the entries added, the backup's and the check's lines) is detail.
    const platform::JournalDefaultLevel detail(7);
    g_journal = detail.active();
    return Pull(a, options);
}

namespace {

int Pull(const CliArgs& a, CliOptions options) {
    if (a.positional.size() != 1)
        throw UsageError{"pull takes the name of a recorder in " + PullConfigFolder()};
    const std::string& name = a.positional[0];
    PullConfig conf;
    std::string why;
    if (!ReadPullConfig(name, conf, why))
        return Failed(name, why);
    // The range is the recorder's days and minutes: reckoned in its zone when it is not ours.
    if (!conf.timeZone.empty() && !platform::UseTimeZone(conf.timeZone, why))
        return Failed(name, why);
    const std::time_t now = std::time(nullptr);
    // The range is checked before anything: the real one is taken under the list's lock.
    PullEntries(conf.range, now, why);
    if (!why.empty())
        return Failed(name, why);
    if (!ParseRemote(conf.remote, options.remote))
        return Failed(name, "remote takes ADDRESS:PORT or https://ADDRESS:PORT: " + conf.remote);
    options.remote.pin = conf.pin;
    options.remote.buildStallSeconds = conf.buildStallSeconds;
    options.remote.ca = conf.ca;
    if (const std::string problem = RemoteTlsProblem(options.remote); !problem.empty())
        return Failed(name, problem);
    // The token of the recorder's file, else of the service (its credential or environment).
    options.remote.token.clear();
    options.remote.tokenFile = conf.tokenFile;
    if (const std::string problem = TakeRemoteToken(options.remote); !problem.empty())
        return Failed(name, problem);
    options.cameras = conf.cameraCount;
    options.progress = false;
    // The instance's own base folder keeps its schedule apart from every other's.
    const std::string base = platform::MachinePrefix() + "/pull/" + name;
    if (!platform::CreateDirectoryTree(base))
        return Failed(name, "its base folder " + base + " cannot be made");
    options.base = base;

    // What earlier runs could not fetch comes first; a range is kept until a run fetched it.
    std::vector<PullEntry> earlier, pending;
    const auto wanted = [&](std::time_t& reached, std::string& problem) {
        return PullEntries(conf.range, now, problem, &reached);
    };
    std::string listAside;
    if (!ChangePending(base, wanted, {}, earlier, pending, why, &listAside))
        return Failed(name, why);
    if (!listAside.empty())
        Summary(4, "pull " + name + ": " + listAside);
    // Only the ranges this run took leave the list: those another run added meanwhile stay.
    std::vector<PullEntry> took;
    const auto taken = [&] {
        std::vector<PullEntry> before, after;
        std::string problem;
        return ChangePending(base, nullptr, took, before, after, problem);
    };
    const auto fail = [&](const std::string& text) {
        return Failed(name,
                      text + (pending.empty() ? "" : "; the next run fetches what is missing"));
    };

    // The target is made once by whoever sets the recorder up: one that is not there is on a
    // disk not mounted, and a folder made in its place would fill the disk below.
    if (!platform::IsDirectory(conf.target))
        return fail("its target " + conf.target + " is not there; is its disk mounted?");

    CliSession s(options);
    if (const std::string problem = s.OwnFilesProblem(); !problem.empty())
        return fail(problem);
    // Runs against one recorder take turns (its server fetches an entry for one client at a
    // time), and so do two of one instance, on its base folder; a run against another recorder
    // (one stuck there among them) keeps none of them waiting, as the machine's lock would.
    const platform::NamedLock::Attempt recorder =
        platform::NamedLock::Acquire(RecorderLockName(options.remote), true);
    if (!recorder.lock)
        return fail(recorder.problem);
    if (!s.OpenWorkingFolder(true, false))
        return fail("its base folder " + base + " cannot be used");
    // The image folder of a run that was killed is set aside as a failed run's is.
    RunFolders runs(base, conf.target);
    if (std::string warning; !runs.SetAsideKilledRun(why, warning))
        return fail(why);
    else if (!warning.empty())
        Summary(4, "pull " + name + ": " + warning);
    const std::vector<std::string> days = s.remote->Days(why);
    // A recorder in service has recorded days: none at all is a recorder whose recordings are
    // not there (a disk not mounted), and what it would have shown is fetched once they are.
    if (days.empty())
        return fail(
            conf.remote + ": " +
            (why.empty() ? "the recorder lists no recorded day; are its recordings there?" : why));
    const auto labelOf = [&](const PullEntry& e) {
        return EntryToLabel(MakeEntryString(e.day, e.start.substr(0, 2), e.start.substr(2),
                                            e.end.substr(0, 2), e.end.substr(2)),
                            s.ctx.m_host.dateType);
    };
    // The schedule holds no entry the list no longer holds: one of a run that failed, whose
    // range has grown into a larger one since, would be fetched twice and keep its slot.
    for (const backup::ListedEntry& row : s.ctx.Schedule().entries)
        if (std::none_of(pending.begin(), pending.end(),
                         [&](const PullEntry& e) { return labelOf(e) == row.label; }) &&
            !DeleteEntry(s, row.label))
            return fail("the entry " + row.label + " of an earlier run cannot be taken out of " +
                        base);
    int entries = 0;
    for (const backup::ListedEntry& row : s.ctx.Schedule().entries)
        entries += row.slot >= 0 ? 1 : 0;
    // The cameras of the list that recorded nothing in a range: nothing a later run could fetch.
    std::string silent;
    std::size_t left = 0;  // ranges beyond the schedule's slots, for the next run
    for (const PullEntry& e : pending) {
        if (std::find(days.begin(), days.end(), e.day) == days.end()) {
            took.push_back(e);
            continue;  // nothing recorded that day
        }
        if (Scheduled(s.ctx.Schedule(), labelOf(e))) {
            took.push_back(e);
            continue;  // scheduled by a run that failed, and fetched now
        }
        if (entries >= kScheduleSlots) {
            ++left;
            continue;
        }
        std::vector<int> recorded;
        if (!CamerasRecordedIn(s, e.day, e.start, e.end, recorded, why))
            return fail(conf.remote + ": " + why);
        const std::string range = e.day + " " + e.start + "-" + e.end;
        std::string cams;
        if (conf.cameraNumbers.empty() && !recorded.empty())
            cams = "all";
        for (const int camera : conf.cameraNumbers) {
            if (std::find(recorded.begin(), recorded.end(), camera) != recorded.end())
                cams += (cams.empty() ? "" : ",") + std::to_string(camera);
            else
                silent += "; camera " + std::to_string(camera) + " recorded nothing in " + range;
        }
        took.push_back(e);
        if (cams.empty())
            continue;  // none of the cameras recorded in the range
        CliArgs add;
        add.positional = {e.day, e.start, e.end};
        add.cams = cams;
        if (CmdAdd(s, add) != 0)
            return fail("the range " + e.day + " " + e.start + "-" + e.end +
                        " could not be scheduled");
        ++entries;
    }
    if (entries == 0) {
        taken();
        Summary(silent.empty() ? 5 : 4,
                "pull " + name + ": nothing recorded in " + conf.range + silent);
        return 0;
    }
    const std::string folder = runs.Claim(now, why);
    if (folder.empty())
        return fail(why);
    // What a failed run wrote is no image of the range: it leaves the run's name for one that
    // says so, so that no one takes it for a run's image.
    const auto setAside = [&](const std::string& what) {
        const std::string aside = runs.SetAside(folder);
        return fail(what + (aside.empty() ? "" : "; what arrived is in " + aside));
    };
    if (!runs.MarkInProgress(folder))
        return fail("its base folder " + base + " cannot be written");
    CliArgs backup;
    backup.folder = folder;
    const std::size_t boxesBefore = s.view.Messages().size();
    backup::PassOutcome pass;
    const bool complete = RunBackup(s, backup, pass) == 0;
    // Why, in the run's one line: the link's reason, else what the backup told the operator
    // (a refused start names the target, the space needed and the space free).
    std::string endedWhy = s.remote->inbox().endedWhy();
    if (const auto boxes = s.view.Messages(); endedWhy.empty() && boxes.size() > boxesBefore) {
        endedWhy = boxes.back().text;
        for (std::size_t at; (at = endedWhy.find('\n')) != std::string::npos;)
            endedWhy.replace(at, 1, ": ");
    }
    // Every range fetched, lacking only what the recording lacks: no later run fetches more of
    // it, so the image stands and its ranges are done, but the run says it is not whole.
    const std::vector<std::string> lacks =
        !complete && pass.Fetched() && pass.report.OnlyRecordingDamaged()
            ? pass.report.failures()
            : std::vector<std::string>();
    if (!complete && lacks.empty())
        return setAside(std::to_string(entries) + " entries into " + folder +
                        ": the backup did not complete" +
                        (endedWhy.empty() ? "" : " (" + endedWhy + ")"));
    CliArgs verify;
    verify.positional = {folder};
    if (CmdVerify(verify, false, !lacks.empty()) != 0)
        return setAside(folder + " does not verify");
    runs.Finished();
    if (!taken())
        return Failed(name, "fetched into " + folder + ", but its list of ranges to fetch in " +
                                base + " cannot be cleared");
    const std::string done = "pull " + name + ": " + std::to_string(entries) + " entries (" +
                             std::to_string(earlier.size()) + " ranges from earlier runs) into " +
                             folder + (lacks.empty() ? ", verified" : ", verified as partial") +
                             silent;
    if (!lacks.empty()) {
        Summary(3, done + "; the recording is damaged, the image lacks " + lacks.front() +
                       (lacks.size() > 1 ? " (and " + std::to_string(lacks.size() - 1) + " more)"
                                         : std::string()) +
                       (left > 0 ? "; " + std::to_string(left) +
                                       " ranges did not fit its schedule, the next run fetches them"
                                 : std::string()));
        return 1;
    }
    if (left > 0) {
        // A partial run: the rest is the next run's, which systemd is told to expect.
        Summary(4, done + "; " + std::to_string(left) +
                       " ranges did not fit its schedule, the next run fetches them");
        return 1;
    }
    Summary(silent.empty() ? 5 : 4, done);
    return 0;
}

}  // namespace
