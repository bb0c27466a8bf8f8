#include "backup/WorkingFolderLock.h"

#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

namespace backup {
namespace {

using ErrorKind = platform::Error::Kind;

platform::Outcome LockTaken(const platform::NamedLock::Attempt& a) {
    using Outcome = platform::NamedLock::Outcome;
    if (a.outcome == Outcome::kAcquired)
        return platform::Succeeded();
    if (a.outcome != Outcome::kHeldByOther)
        return platform::Error{ErrorKind::kFailed, a.problem, {}};
    const std::string pid = a.holderPid > 0 ? " (pid " + std::to_string(a.holderPid) + ")" : "";
    return platform::Error{ErrorKind::kRefused,
                           "another copy of Quillon Backup is running" + pid +
                               "; run this again when it has finished, or add --wait",
                           {}};
}

}  // namespace

platform::Outcome WorkingFolderLock::Take(const std::string& base, const Options& options) {
    if (options.ownBase) {
        if (platform::Outcome ready = platform::PrepareBaseFolder(options.folders); !ready)
            return ready;
    }
    if (const std::string missing = platform::MissingDriveText(base); !missing.empty())
        return platform::Error{ErrorKind::kNotFound, "the base folder's " + missing, {}};
    const std::string baseHost = platform::ResolvePath(base);
    if (!platform::IsDirectory(base))
        return platform::Error{ErrorKind::kNotFound,
                               "the base folder " + base + " (" + baseHost + ") does not exist",
                               {}};
    platform::NamedLock::Attempt machine;
    if (options.machineWide) {
        machine = platform::NamedLock::Acquire("Backup", options.wait);
        if (platform::Outcome taken = LockTaken(machine); !taken)
            return taken;
    }
    // The runtime folder is per user: the base folder's own lock keeps out a copy of another.
    platform::NamedLock::Attempt folder =
        platform::NamedLock::AcquireFolder(baseHost, options.wait);
    if (platform::Outcome taken = LockTaken(folder); !taken)
        return taken;
    machine_ = std::move(machine.lock);
    folder_ = std::move(folder.lock);
    return platform::Succeeded();
}

void WorkingFolderLock::Release() {
    folder_.reset();
    machine_.reset();
}

}  // namespace backup
