#include "backup/WorkingFolderLock.h"

#include "backup/Session.h"
#include "platform/DrivePaths.h"
#include "platform/FileSystem.h"

namespace backup {
namespace {

// "" when the lock was taken.
std::string LockProblem(const platform::NamedLock::Attempt& a) {
    using Outcome = platform::NamedLock::Outcome;
    if (a.outcome == Outcome::kAcquired)
        return std::string();
    if (a.outcome != Outcome::kHeldByOther)
        return a.problem;
    const std::string pid = a.holderPid > 0 ? " (pid " + std::to_string(a.holderPid) + ")" : "";
    return "another copy of Quillon Backup is running" + pid +
           "; run this again when it has finished, or add --wait";
}

}  // namespace

std::string WorkingFolderLock::Take(Session& session, const Options& options) {
    if (options.ownBase) {
        if (const std::string problem = platform::PrepareBaseFolder(options.folders);
            !problem.empty())
            return problem;
    }
    const std::string base = session.BaseFolder();
    if (const std::string missing = platform::MissingDriveText(base); !missing.empty())
        return "the base folder's " + missing;
    const std::string baseHost = platform::ResolvePath(base);
    if (!platform::IsDirectory(base))
        return "the base folder " + base + " (" + baseHost + ") does not exist";
    platform::NamedLock::Attempt machine;
    if (options.machineWide) {
        machine = platform::NamedLock::Acquire("Backup", options.wait);
        if (std::string problem = LockProblem(machine); !problem.empty())
            return problem;
    }
    // The runtime folder is per user: the base folder's own lock keeps out a copy of another.
    platform::NamedLock::Attempt folder =
        platform::NamedLock::AcquireFolder(baseHost, options.wait);
    if (std::string problem = LockProblem(folder); !problem.empty())
        return problem;
    // A working folder that is a link could lead every write and the clean-up elsewhere.
    if (const std::string problem = session.WorkingFolderProblem(); !problem.empty())
        return session.Text("BACKUP", "Q010005") + "\n" + problem;
    machine_ = std::move(machine.lock);
    folder_ = std::move(folder.lock);
    return std::string();
}

}  // namespace backup
