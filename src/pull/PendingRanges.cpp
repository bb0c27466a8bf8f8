#include "pull/PendingRanges.h"

#include <algorithm>
#include <cstdlib>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/NamedLock.h"
#include "pull/RunFolders.h"

namespace pull {
namespace {

// One "YYYYMMDD HHMM HHMM" a line.
std::string PendingPath(const std::string& base) {
    return base + "/pending-ranges";
}

// The first minute (a time) that the ranges of the runs so far did not reach; 0 before the
// first run.
std::string ReachedPath(const std::string& base) {
    return base + "/reached";
}

// The most of the list that is read: far more ranges than runs ever keep.
constexpr std::size_t kPendingLimit = std::size_t{1} << 20;

bool Among(const std::vector<PullEntry>& list, const PullEntry& e) {
    return std::any_of(list.begin(), list.end(),
                       [&](const PullEntry& p) { return SameRange(p, e); });
}

// The kept list's ranges. What in it is no range (a line written by hand or by another program,
// a line cut short, more than kPendingLimit) loses none of the ranges that read: the whole file
// is renamed pending-ranges.bad-TIME, setAside says so, and the caller writes the ranges anew.
// False with why when the file cannot be read or set aside.
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
    std::string aside = path + ".bad-" + RunFolders::Name(now);
    for (int n = 2; platform::FileExists(aside); ++n)
        aside = path + ".bad-" + RunFolders::Name(now) + "-" + std::to_string(n);
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

bool SavePending(const std::string& base, const std::vector<PullEntry>& pending) {
    const std::string path = PendingPath(base);
    if (pending.empty())
        return !platform::FileExists(path) || platform::DeleteFile(path);
    std::string text;
    for (const PullEntry& e : pending)
        text += e.day + " " + e.start + " " + e.end + "\n";
    // Written whole under another name first, so that a run killed meanwhile leaves the one before.
    return platform::WriteTextAtomically(path, text, true);
}

std::time_t LoadReached(const std::string& base) {
    std::string text;
    if (!platform::ReadWholeFile(ReachedPath(base), text, 64))
        return 0;
    return static_cast<std::time_t>(std::atoll(text.c_str()));
}

bool SaveReached(const std::string& base, std::time_t reached) {
    return platform::WriteTextAtomically(
        ReachedPath(base), std::to_string(static_cast<long long>(reached)) + "\n", true);
}

}  // namespace

bool SameRange(const PullEntry& a, const PullEntry& b) {
    return a.day == b.day && a.start == b.start && a.end == b.end;
}

bool ChangePending(const std::string& base, const WantedRanges& wanted,
                   const std::vector<PullEntry>& done, std::vector<PullEntry>& before,
                   std::vector<PullEntry>& after, std::string& why, std::string* setAside) {
    const platform::NamedLock::Attempt lock =
        platform::NamedLock::AcquireFolder(base.substr(0, base.find_last_of('/')), true);
    if (!lock.lock) {
        why = lock.problem;
        return false;
    }
    // Only runs holding this lock write these two: a temporary name beside one is a killed run's.
    platform::RemoveLeftoverTempFilesOf(PendingPath(base));
    platform::RemoveLeftoverTempFilesOf(ReachedPath(base));
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

}  // namespace pull
