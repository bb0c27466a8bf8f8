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
// Why not when the file cannot be read or set aside.
platform::Outcome LoadPending(const std::string& base, std::vector<PullEntry>& pending,
                              std::string& setAside) {
    using Kind = platform::Error::Kind;
    pending.clear();
    setAside.clear();
    const std::string path = PendingPath(base);
    if (!platform::FileExists(path))
        return platform::Succeeded();
    platform::File in;
    std::string text(kPendingLimit, '\0');
    long long got = 0;
    if (in.OpenResolved(path, platform::File::kReadNoLink)) {
        for (long long n; got < static_cast<long long>(text.size()) &&
                          (n = in.Read(text.data() + got, text.size() - got)) > 0;)
            got += n;
    }
    if (!in.IsOpen() || got < 0)
        return platform::Error{Kind::kDamaged,
                               "its list of ranges to fetch " + path + " cannot be read", ""};
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
        const platform::Expected<std::vector<PullEntry>> entry = PullEntries(line, 0);
        // As SavePending writes it, so that no named range is taken for the minutes of 1970.
        if (entry && entry->size() == 1 &&
            line == entry->front().day + " " + entry->front().start + " " + entry->front().end)
            pending.push_back(entry->front());
        else
            ++unread;
    }
    if (unread == 0)
        return platform::Succeeded();
    const std::time_t now = std::time(nullptr);
    std::string aside = path + ".bad-" + RunFolders::Name(now);
    for (int n = 2; platform::FileExists(aside); ++n)
        aside = path + ".bad-" + RunFolders::Name(now) + "-" + std::to_string(n);
    if (!platform::MoveFile(path, aside))
        return platform::Error{Kind::kFailed,
                               "its list of ranges to fetch " + path +
                                   " holds what is no range, and cannot be set aside",
                               ""};
    setAside = path + " held " +
               (whole ? std::to_string(unread) + " lines that are no range"
                      : std::string("more than the 1 MiB that is read")) +
               "; it is kept as " + aside + ", and the " + std::to_string(pending.size()) +
               " ranges that could be read are fetched";
    return platform::Succeeded();
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

platform::Outcome ChangePending(const std::string& base, const WantedRanges& wanted,
                                const std::vector<PullEntry>& done, std::vector<PullEntry>& before,
                                std::vector<PullEntry>& after, std::string* setAside) {
    const platform::NamedLock::Attempt lock =
        platform::NamedLock::AcquireFolder(base.substr(0, base.find_last_of('/')), true);
    if (!lock.lock)
        return platform::Error{platform::Error::Kind::kFailed, lock.problem, ""};
    // Only runs holding this lock write these two: a temporary name beside one is a killed run's.
    platform::RemoveLeftoverTempFilesOf(PendingPath(base));
    platform::RemoveLeftoverTempFilesOf(ReachedPath(base));
    std::string aside;
    if (const platform::Outcome loaded = LoadPending(base, before, aside); !loaded)
        return loaded;
    if (setAside)
        *setAside = aside;
    after.clear();
    for (const PullEntry& e : before)
        if (!Among(done, e) && !Among(after, e))
            after.push_back(e);
    std::time_t reached = LoadReached(base);
    const std::time_t reachedBefore = reached;
    if (wanted) {
        const platform::Expected<std::vector<PullEntry>> ranges = wanted(reached);
        if (!ranges)
            return ranges.error();
        for (const PullEntry& e : *ranges)
            if (!Among(done, e) && !Among(after, e))
                after.push_back(e);
    }
    after = Coalesced(after);
    // The list first: a mark moved past ranges that are not in it would lose them. A list set
    // aside is written anew here, whatever changed.
    if (!SavePending(base, after) || (reached != reachedBefore && !SaveReached(base, reached)))
        return platform::Error{platform::Error::Kind::kFailed,
                               "its list of ranges to fetch cannot be written in " + base, ""};
    return platform::Succeeded();
}

}  // namespace pull
