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
#include "PullConfig.h"
#include "PullRange.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/JournalLevel.h"
#include "platform/NamedLock.h"
#include "platform/OwnerOnly.h"
#include "platform/TimeZone.h"

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

std::string RunFolderName(std::time_t now) {
    std::tm tm{};
    localtime_r(&now, &tm);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d_%H%M%S", &tm);
    return name;
}

// The ranges a run could not fetch, kept for the next run: one "YYYYMMDD HHMM HHMM" a line.
std::string PendingPath(const std::string& base) {
    return base + "/pending-ranges";
}

// The most of the list that is read: far more ranges than runs ever keep.
constexpr std::size_t kPendingLimit = std::size_t{1} << 20;

// The kept list's ranges. What in it is no range (a line written by hand or by another program,
// a line cut short, more than kPendingLimit) loses none of the ranges that read: the whole file
// is renamed pending-ranges.bad-TIME for someone to look at, setAside says so, and the caller
// writes the ranges anew. False with why when the file cannot be read or set aside.
bool LoadPending(const std::string& base, std::vector<PullEntry>& pending, std::string& setAside,
                 std::string& why) {
    pending.clear();
    setAside.clear();
    const std::string path = PendingPath(base);
    if (!platform::FileExists(path))
        return true;
    platform::File in;
    std::string text(kPendingLimit, '\0');
    long long got = 0;
    if (in.OpenResolved(path, platform::File::kReadNoLink)) {
        for (long long n; got < static_cast<long long>(text.size()) &&
                          (n = in.Read(text.data() + got, text.size() - got)) > 0;)
            got += n;
    }
    if (!in.IsOpen() || got < 0) {
        why = "its list of ranges to fetch " + path + " cannot be read";
        return false;
    }
    text.resize(static_cast<std::size_t>(got));
    const bool whole = in.Length() == got;
    std::size_t unread = whole ? 0 : 1;  // what is beyond the limit
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos && !whole)
            break;  // cut at the limit: counted with what is beyond it
        end = std::min(end, text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        std::string problem;
        const std::vector<PullEntry> entry = PullEntries(line, 0, problem);
        // As SavePending writes it, so that no named range is taken for the minutes of 1970.
        if (entry.size() == 1 && line == entry[0].day + " " + entry[0].start + " " + entry[0].end)
            pending.push_back(entry[0]);
        else
            ++unread;
    }
    if (unread == 0)
        return true;
    const std::time_t now = std::time(nullptr);
    std::string aside = path + ".bad-" + RunFolderName(now);
    for (int n = 2; platform::FileExists(aside); ++n)
        aside = path + ".bad-" + RunFolderName(now) + "-" + std::to_string(n);
    if (!platform::MoveFile(path, aside)) {
        why = "its list of ranges to fetch " + path +
              " holds what is no range, and cannot be set aside";
        return false;
    }
    setAside = path + " held " +
               (whole ? std::to_string(unread) + " lines that are no range"
                      : std::string("more than the 1 MiB that is read")) +
               "; it is kept as " + aside + ", and the " + std::to_string(pending.size()) +
               " ranges that could be read are fetched";
    return true;
}

// Written whole under another name first, so that a run killed meanwhile loses no range.
// A small file of the instance written whole under another name first, so that a run killed
// meanwhile leaves the one before.
bool WriteWhole(const std::string& path, const std::string& text) {
    const std::string temp = path + ".new";
    platform::File out;
    if (!out.Open(temp, platform::File::kCreateWrite) || !out.Write(text.data(), text.size()) ||
        !out.Sync())
        return false;
    out.Close();
    return platform::MoveFile(temp, path);
}

bool SavePending(const std::string& base, const std::vector<PullEntry>& pending) {
    const std::string path = PendingPath(base);
    if (pending.empty())
        return !platform::FileExists(path) || platform::DeleteFile(path);
    std::string text;
    for (const PullEntry& e : pending)
        text += e.day + " " + e.start + " " + e.end + "\n";
    return WriteWhole(path, text);
}

// The end of the name of an image folder whose run failed.
constexpr const char* kIncomplete = ".incomplete";

bool SameRange(const PullEntry& a, const PullEntry& b) {
    return a.day == b.day && a.start == b.start && a.end == b.end;
}

bool Among(const std::vector<PullEntry>& list, const PullEntry& e) {
    return std::any_of(list.begin(), list.end(),
                       [&](const PullEntry& p) { return SameRange(p, e); });
}

// The first minute (a time) that the ranges of the runs so far did not reach: a named range
// ("today", "last N hours") of the next run starts there at the latest, so that no minute
// falls between two runs. 0 before the first run.
std::string ReachedPath(const std::string& base) {
    return base + "/reached";
}

std::time_t LoadReached(const std::string& base) {
    std::string text;
    if (!platform::ReadWholeFile(ReachedPath(base), text, 64))
        return 0;
    return static_cast<std::time_t>(std::atoll(text.c_str()));
}

bool SaveReached(const std::string& base, std::time_t reached) {
    return WriteWhole(ReachedPath(base), std::to_string(static_cast<long long>(reached)) + "\n");
}

// The image folder of the run under way, until it verified or was set aside: a run killed
// meanwhile leaves it named here for the next run.
std::string InProgressPath(const std::string& base) {
    return base + "/image-in-progress";
}

// Whether the state file's folder is one a run made: a folder, not a link, right below the
// target, with a run's name (2026-12-08_030512, or -2 and on after it). Anything else (the
// target itself, a folder elsewhere, a file edited by hand) is not the pull's to rename.
bool RunFolderOf(const std::string& target, const std::string& folder,
                 const std::string& suffix = "") {
    const std::string parent = target + "/";
    if (folder.size() <= parent.size() || folder.compare(0, parent.size(), parent) != 0)
        return false;
    std::string name = folder.substr(parent.size());
    // A failed run's folder: the run's name with ".incomplete", or ".incomplete-N", after it.
    if (!suffix.empty()) {
        const std::size_t at = name.rfind(suffix);
        if (at == std::string::npos ||
            name.find_first_not_of("0123456789", at + suffix.size() + 1) != std::string::npos ||
            (name.size() > at + suffix.size() && name[at + suffix.size()] != '-') ||
            name.size() == at + suffix.size() + 1)
            return false;
        name.resize(at);
    }
    const std::string shape = "dddd-dd-dd_dddddd";
    if (name.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (i < shape.size() ? (shape[i] == 'd' ? !digit : name[i] != shape[i])
                             : !(digit || (i == shape.size() && name[i] == '-')))
            return false;
    }
    if (name.size() == shape.size() + 1)
        return false;  // a "-" with no number after it
    platform::FindData entry;
    return platform::StatEntry(folder, entry) && entry.isDirectory && !entry.isLink;
}

// The folder the instance's last failed run left, set aside: the next failed run's replaces it,
// so that runs failing on a full disk do not fill it with one more each.
std::string IncompletePath(const std::string& base) {
    return base + "/image-incomplete";
}

// What a failed run wrote leaves the run's name for one that says so; the new name, or "". The
// one an earlier failed run of the instance left goes, when it is still a run's folder right
// below the target (never a link, nor anything the state file names elsewhere).
std::string SetAside(const std::string& base, const std::string& target,
                     const std::string& folder) {
    std::string aside = folder + kIncomplete;
    for (int n = 2; platform::IsDirectory(aside) || platform::FileExists(aside); ++n)
        aside = folder + kIncomplete + "-" + std::to_string(n);
    if (!platform::MoveFile(folder, aside))
        return std::string();
    if (std::string before; platform::ReadWholeFile(IncompletePath(base), before, 4096) &&
                            before != aside && RunFolderOf(target, before, kIncomplete))
        platform::DeleteTree(before);
    WriteWhole(IncompletePath(base), aside);
    return aside;
}

// The kept list with the run's range put in (wanted, from the minute the runs before reached)
// and done taken out, read and written in one step under the lock of the instances' folder:
// two runs of one recorder (the timer's and one by hand) change it each in turn and never
// write the other's ranges away. The list as it was before goes into before, as it is now into
// after; false with why when it cannot be changed.
bool ChangePending(
    const std::string& base,
    const std::function<std::vector<PullEntry>(std::time_t& reached, std::string& why)>& wanted,
    const std::vector<PullEntry>& done, std::vector<PullEntry>& before,
    std::vector<PullEntry>& after, std::string& why, std::string* setAside = nullptr) {
    const platform::NamedLock::Attempt lock =
        platform::NamedLock::AcquireFolder(base.substr(0, base.find_last_of('/')), true);
    if (!lock.lock) {
        why = lock.problem;
        return false;
    }
    std::string aside;
    if (!LoadPending(base, before, aside, why))
        return false;
    if (setAside)
        *setAside = aside;
    after.clear();
    for (const PullEntry& e : before)
        if (!Among(done, e) && !Among(after, e))
            after.push_back(e);
    std::time_t reached = LoadReached(base);
    const std::time_t reachedBefore = reached;
    if (wanted) {
        for (const PullEntry& e : wanted(reached, why))
            if (!Among(done, e) && !Among(after, e))
                after.push_back(e);
        if (!why.empty())
            return false;
    }
    after = Coalesced(after);
    // The list first: a mark moved past ranges that are not in it would lose them. A list set
    // aside is written anew here, whatever changed.
    if (!SavePending(base, after) || (reached != reachedBefore && !SaveReached(base, reached))) {
        why = "its list of ranges to fetch cannot be written in " + base;
        return false;
    }
    return true;
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
    if (std::string left; platform::ReadWholeFile(InProgressPath(base), left, 4096)) {
        if (RunFolderOf(conf.target, left)) {
            if (SetAside(base, conf.target, left).empty())
                return fail("the folder " + left + " of a run that was killed cannot be renamed");
        } else if (platform::IsDirectory(left) || platform::FileExists(left)) {
            Summary(4, "pull " + name + ": " + InProgressPath(base) + " names " + left +
                           ", which is no image folder of a run in " + conf.target +
                           "; it is left as it is");
        }
        platform::DeleteFile(InProgressPath(base));
    }
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
    const std::vector<std::string> rows = s.ctx.m_schedule.rows;
    for (const std::string& row : rows)
        if (std::none_of(pending.begin(), pending.end(),
                         [&](const PullEntry& e) { return labelOf(e) == row; }) &&
            !DeleteEntry(s, row))
            return fail("the entry " + row + " of an earlier run cannot be taken out of " + base);
    int entries = 0;
    for (int i = 0; i < kScheduleSlots; ++i)
        entries += s.ctx.m_schedule.table[static_cast<std::size_t>(i)].bUsed ? 1 : 0;
    // The cameras of the list that recorded nothing in a range: nothing a later run could fetch.
    std::string silent;
    std::size_t left = 0;  // ranges beyond the schedule's slots, for the next run
    for (const PullEntry& e : pending) {
        if (std::find(days.begin(), days.end(), e.day) == days.end()) {
            took.push_back(e);
            continue;  // nothing recorded that day
        }
        if (SlotOfLabel(s.ctx, labelOf(e))) {
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
    // The run's own folder, claimed by making it: runs that start in one second into one target
    // (timers that fire together, then take turns) each get another, never one already written.
    const std::string stem = conf.target + "/" + RunFolderName(now);
    const auto claimed = [](const std::string& path) {
        return platform::IsDirectory(path) || platform::FileExists(path);
    };
    std::string folder = stem;
    for (int n = 2; claimed(folder + kIncomplete) || !platform::CreateDirectory(folder); ++n) {
        if (n > 1000 || !(claimed(folder) || claimed(folder + kIncomplete)))
            return fail("no folder for its image can be made in " + conf.target);
        folder = stem + "-" + std::to_string(n);
    }
    // What a failed run wrote is no image of the range: it leaves the run's name for one that
    // says so, so that no one takes it for a run's image.
    const auto setAside = [&](const std::string& what) {
        const std::string aside = SetAside(base, conf.target, folder);
        if (!aside.empty())
            platform::DeleteFile(InProgressPath(base));
        return fail(what + (aside.empty() ? "" : "; what arrived is in " + aside));
    };
    if (!WriteWhole(InProgressPath(base), folder))
        return fail("its base folder " + base + " cannot be written");
    CliArgs backup;
    backup.folder = folder;
    const std::size_t boxesBefore = s.view.Messages().size();
    const bool complete = CmdBackup(s, backup) == 0;
    // Why, in the run's one line: the link's reason, else what the backup told the operator
    // (a refused start names the target, the space needed and the space free).
    std::string endedWhy = s.remote->endedWhy;
    if (const auto boxes = s.view.Messages(); endedWhy.empty() && boxes.size() > boxesBefore) {
        endedWhy = boxes.back().text;
        for (std::size_t at; (at = endedWhy.find('\n')) != std::string::npos;)
            endedWhy.replace(at, 1, ": ");
    }
    // Every range fetched, lacking only what the recording lacks: no later run fetches more of
    // it, so the image stands and its ranges are done, but the run says it is not whole.
    const std::vector<std::string> lacks =
        !complete && s.ctx.m_run.ending &&
                s.ctx.m_run.ending->link == backup::PassEnding::Link::kFetched &&
                s.ctx.m_run.report.OnlyRecordingDamaged()
            ? s.ctx.m_run.report.failures()
            : std::vector<std::string>();
    if (!complete && lacks.empty())
        return setAside(std::to_string(entries) + " entries into " + folder +
                        ": the backup did not complete" +
                        (endedWhy.empty() ? "" : " (" + endedWhy + ")"));
    CliArgs verify;
    verify.positional = {folder};
    if (CmdVerify(verify, false, !lacks.empty()) != 0)
        return setAside(folder + " does not verify");
    platform::DeleteFile(InProgressPath(base));
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
