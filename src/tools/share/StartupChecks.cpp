#include "StartupChecks.h"

#include <cstdlib>

#include "backup/server/ShareImageStore.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

std::string StorageRoot(const std::string& root) {
    if (root.size() >= 2 && root[1] == ':')
        return root;
    return platform::ToDrivePath(root);
}

std::string WorkingFolderProblem() {
    const std::string working = paths::WorkingFolder(kNetTempRoot);
    const std::string host = platform::ResolvePath(working, platform::PathUse::kCreate);
    const char* prefixVariable = std::getenv("QUILLON_PREFIX");
    // Where the folder's host path comes from, which is what an operator must change.
    const std::string prefix =
        prefixVariable && *prefixVariable
            ? "QUILLON_PREFIX is " + platform::MachinePrefix()
            : "QUILLON_PREFIX is not set, so the prefix is " + platform::MachinePrefix();
    auto problem = [&](const std::string& why) {
        return "the working folder " + working + (host.empty() ? "" : " (" + host + ")") +
               ", where the images are built, " + why + "; every remote backup would fail (" +
               prefix + "; give it a folder this user may write)";
    };
    if (host.empty())
        return problem("is on drive C:, which " + platform::MachinePrefix() +
                       "/drives.ini does not map to a folder");
    if (const platform::Outcome made = platform::CheckFolderCreation(working); !made)
        return problem("cannot be made: " + made.error().Said());
    if (!platform::CreateDirectoryTree(working))
        return problem("cannot be made");
    if (const platform::Outcome writable = platform::FolderWritable(working); !writable)
        return problem(writable.error().text);
    // Only a file written there proves it (a full disk, a quota, a mount that refuses).
    const std::string probe = working + "\\.quillon-share-probe";
    bool written = false;
    {
        platform::File f;
        written = f.Open(probe, platform::File::kCreateWrite) && f.Write("probe", 5);
    }
    platform::DeleteFile(probe);
    if (!written)
        return problem("takes no file");
    return std::string();
}

std::string RecordingsProblem(const std::string& storageRoot) {
    const std::string host = platform::ResolvePath(storageRoot);
    if (host.empty())
        return "the recordings root " + storageRoot + " is on a drive that " +
               platform::MachinePrefix() + "/drives.ini does not map to a folder";
    if (!platform::IsDirectory(storageRoot))
        return "the recordings root " + storageRoot + " (" + host +
               ") is not a folder (yet): clients will find no recordings";
    if (platform::FindFiles(storageRoot + "\\*.*").empty())
        return "the recordings root " + storageRoot + " (" + host +
               ") holds nothing this user may read: clients will find no recordings";
    return std::string();
}
