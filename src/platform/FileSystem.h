#pragma once
// Folder and file operations on drive paths, with the original platform's results.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/Status.h"
#include "platform/Types.h"

namespace platform {

// Creates one folder. Failed when it exists (ERROR_ALREADY_EXISTS), when its parent is missing
// (ERROR_PATH_NOT_FOUND) or when it cannot be made (ERROR_CANNOT_MAKE).
Status CreateDirectory(const std::string& path);
// Creates the folder and every missing parent; true when the folder exists afterwards.
bool CreateDirectoryTree(const std::string& path);
bool RemoveDirectory(const std::string& path);
// Deletes a file or a folder with everything below it, read-only entries among them. A symbolic
// link is removed as the link itself, never followed, so that nothing outside the folder is
// touched. True when nothing of it is left.
bool DeleteTree(const std::string& path);
bool DeleteFile(const std::string& path);
// The system's folder for temporary files ($TMPDIR, else /tmp).
std::string TempFolder();
// A new folder of this user only, parent/stem-XXXXXX, for files a command needs for a while
// and deletes; "" when it cannot be made. The parent "" is TempFolder().
std::string MakeScratchFolder(const std::string& parent, const std::string& stem);
// Renames a file or folder; the new name is taken as spelled and replaces a file of that name.
bool MoveFile(const std::string& from, const std::string& to);
// The same, but failed (ERROR_ALREADY_EXISTS) when the new name is taken, whatever by, instead
// of replacing it: a folder moved into place never lands on what another put there meanwhile.
bool MoveFileNoReplace(const std::string& from, const std::string& to);
// Clears read-only and other attribute bits so that the file can be deleted.
bool SetFileAttributesNormal(const std::string& path);
bool FileExists(const std::string& path);
// "" when path names a regular file or nothing; else what it is instead ("a folder", "a named
// pipe", "a device", "a socket"), for a message that says why it cannot be read.
std::string NotAFile(const std::string& path);
// Whether path is a folder that can take new files, or what is wrong with it, about the path:
// not found ("is gone", "is no folder"), refused ("is read-only") or failed.
Outcome FolderWritable(const std::string& path);
// The volume that holds path (0 when it cannot be looked at): a stick pulled from under a folder
// leaves the folder's name on another volume.
std::uint64_t VolumeOf(const std::string& path);
bool IsDirectory(const std::string& path);
// The largest file the volume holding path can take (4 GiB less a byte on a FAT volume, the
// file system of most sticks), or 0 when its kind sets no limit we know of.
long long MaxFileBytes(const std::string& path);
// Writes everything cached for the volume that holds path to the device, so that a removable
// target can be taken away; false (with the last error) when the device did not take it all.
bool FlushVolume(const std::string& path);
// The same for a volume watched from before its files are written: a failure of the device
// while the system wrote them in the background is reported by Flush even when something else
// flushed the volume in between and saw it first. While it watches, the files committed below
// its folder start for the device at once (EarlyWriteback.h).
class VolumeFlush {
  public:
    VolumeFlush() = default;
    // Watches the volume that holds path when path is there now; Flush looks it up otherwise.
    explicit VolumeFlush(const std::string& path);
    ~VolumeFlush();
    VolumeFlush(const VolumeFlush&) = delete;
    VolumeFlush& operator=(const VolumeFlush&) = delete;
    VolumeFlush(VolumeFlush&& other) noexcept;
    VolumeFlush& operator=(VolumeFlush&& other) noexcept;
    // Failed (with why) when the volume's data could not be made to reach its device.
    Status Flush();

  private:
    void Release();
    std::string host_;
    int fd_ = -1;
};
// Length in bytes, or -1 when the file is missing.
long long FileLength(const std::string& path);

struct FindData {
    std::string name;  // file name without folder
    bool isDirectory = false;
    bool isLink = false;  // a symbolic link (isDirectory and size are of what it leads to)
    std::uint64_t size = 0;
    std::string hostPath;  // where the entry is, for opening it without another lookup
};

// Entries of a folder matching a wildcard path ("C:\x\*.*", "C:\x\2010N.*", or a plain file
// path), in the platform's matching order: names compared without regard to case. "*" and "?"
// match as on the original platform, "*.*" matches every name. Empty when nothing matches.
std::vector<FindData> FindFiles(const std::string& wildcardPath);

// Fills the kind, size and host path of f from the entry at hostPath; false when it is missing.
bool StatEntry(const std::string& hostPath, FindData& f);
// Puts entries in the platform's search order: names compared without regard to case.
void SortAsSearched(std::vector<FindData>& found);

// Wildcard match of one name, without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace platform
