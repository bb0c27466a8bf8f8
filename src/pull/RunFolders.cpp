#include "pull/RunFolders.h"

#include <ctime>
#include <utility>

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TimeZone.h"

namespace pull {
namespace {

// The end of the name of an image folder whose run failed.
constexpr const char* kIncomplete = ".incomplete";

// The image folder of the run under way, until it verified or was set aside.
std::string InProgressPath(const std::string& base) {
    return base + "/image-in-progress";
}

// The folder the instance's last failed run left, set aside.
std::string IncompletePath(const std::string& base) {
    return base + "/image-incomplete";
}

bool Claimed(const std::string& path) {
    return platform::IsDirectory(path) || platform::FileExists(path);
}

}  // namespace

RunFolders::RunFolders(std::string base, std::string target)
    : base_(std::move(base)), target_(std::move(target)) {}

std::string RunFolders::Name(std::time_t when) {
    std::tm tm{};
    platform::LocalTimeAt(when, tm);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d_%H%M%S", &tm);
    return name;
}

bool RunFolders::MadeByARun(const std::string& folder, const std::string& suffix) const {
    const std::string parent = target_ + "/";
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

std::string RunFolders::SetAside(const std::string& folder) {
    std::string aside = folder + kIncomplete;
    for (int n = 2; Claimed(aside); ++n)
        aside = folder + kIncomplete + "-" + std::to_string(n);
    if (!platform::MoveFile(folder, aside))
        return std::string();
    // The one an earlier failed run left goes, when it is still a run's folder right below the
    // target (never a link, nor anything the state file names elsewhere).
    if (std::string before; platform::ReadWholeFile(IncompletePath(base_), before, 4096) &&
                            before != aside && MadeByARun(before, kIncomplete))
        platform::DeleteTree(before);
    platform::WriteTextAtomically(IncompletePath(base_), aside, true);
    Finished();
    return aside;
}

platform::Outcome RunFolders::SetAsideKilledRun(std::string& warning) {
    // Written only by the run holding the base folder's lock: what a killed one left half-written.
    platform::RemoveLeftoverTempFilesOf(InProgressPath(base_));
    platform::RemoveLeftoverTempFilesOf(IncompletePath(base_));
    std::string left;
    if (!platform::ReadWholeFile(InProgressPath(base_), left, 4096))
        return platform::Succeeded();
    if (MadeByARun(left)) {
        if (SetAside(left).empty())
            return platform::Error{
                platform::Error::Kind::kFailed,
                "the folder " + left + " of a run that was killed cannot be renamed", ""};
    } else if (Claimed(left)) {
        // The target itself, a folder elsewhere, a file edited by hand: not the pull's to rename.
        // One literal for the file and the verb: a short piece alone would be written into the
        // code as an immediate, which the packages' spelling check reads as a word.
        warning = base_ + "/image-in-progress names " + left +
                  ", which is no image folder of a run in " + target_ + "; it is left as it is";
    }
    Finished();
    return platform::Succeeded();
}

platform::Expected<std::string> RunFolders::Claim(std::time_t now) {
    const std::string stem = target_ + "/" + Name(now);
    std::string folder = stem;
    for (int n = 2; Claimed(folder + kIncomplete) || !platform::CreateDirectory(folder); ++n) {
        if (n > 1000 || !(Claimed(folder) || Claimed(folder + kIncomplete)))
            return platform::Error{platform::Error::Kind::kFailed,
                                   "no folder for its image can be made in " + target_, ""};
        folder = stem + "-" + std::to_string(n);
    }
    return folder;
}

bool RunFolders::MarkInProgress(const std::string& folder) {
    return platform::WriteTextAtomically(InProgressPath(base_), folder, true);
}

void RunFolders::Finished() {
    platform::DeleteFile(InProgressPath(base_));
}

}  // namespace pull
