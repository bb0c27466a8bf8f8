#include "backup/pass/WriteGuard.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/CHKLM.h"
#include "platform/DrivePaths.h"
#include "storage/RecorderPaths.h"

namespace {

namespace fs = std::filesystem;

// The real place of a folder, links resolved; of one that does not exist yet, its parent's
// real place and its name.
fs::path RealPlace(const std::string& drivePath) {
    const std::string host = platform::ResolvePath(drivePath, platform::PathUse::kCreate);
    if (host.empty())
        return fs::path();
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(host), ec);
    return ec ? fs::path(host).lexically_normal() : p;
}

std::vector<std::string> Parts(const fs::path& p) {
    std::vector<std::string> out;
    for (const auto& part : p.lexically_normal()) {
        const std::string s = part.string();
        if (!s.empty() && s != ".")
            out.push_back(s);
    }
    return out;
}

// True when inner is outer or lies below it.
bool Within(const fs::path& inner, const fs::path& outer) {
    if (outer.empty())
        return false;
    const auto o = Parts(outer), i = Parts(inner);
    return o.size() <= i.size() && std::equal(o.begin(), o.end(), i.begin());
}

}  // namespace

platform::Outcome CheckWriteFolder(const backup::HostSettings& host, const std::string& folder,
                                   const std::string& within, bool image) {
    using Kind = platform::Error::Kind;
    const fs::path real = RealPlace(folder);
    if (real.empty())
        return platform::Error{Kind::kNotFound, "is on a drive that is not in the drive table",
                               folder};
    if (Within(real, RealPlace(host.StorageRoot())))
        return platform::Error{Kind::kRefused, "leads into the recordings (" + real.string() + ")",
                               folder};
    if (image && Within(real, RealPlace(paths::WorkingFolder(host.basePath))))
        return platform::Error{Kind::kRefused,
                               "lies in the working folder, which every backup clears", folder};
    if (!within.empty() && !Within(real, RealPlace(within)))
        return platform::Error{Kind::kRefused,
                               "leads outside " + within + " (" + real.string() + ")", folder};
    return platform::Succeeded();
}

platform::Outcome CheckWorkingFolder(const backup::HostSettings& host,
                                     const std::string& entryFolder) {
    const std::string working = paths::WorkingFolder(host.basePath);
    platform::Outcome checked = CheckWriteFolder(host, working, host.basePath, false);
    if (checked && !entryFolder.empty())
        checked = CheckWriteFolder(host, entryFolder, working, false);
    return checked;
}
