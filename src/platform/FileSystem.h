#pragma once
// Folder and file operations on drive paths, with the original platform's results.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace platform {

// Creates one folder. False when it exists (last error ERROR_ALREADY_EXISTS), when its parent is
// missing (ERROR_PATH_NOT_FOUND) or when it cannot be made (ERROR_CANNOT_MAKE).
bool CreateDirectory(const std::string& path);
// Creates the folder and every missing parent; true when the folder exists afterwards.
bool CreateDirectoryTree(const std::string& path);
bool RemoveDirectory(const std::string& path);
bool DeleteFile(const std::string& path);
// Clears read-only and other attribute bits so that the file can be deleted.
bool SetFileAttributesNormal(const std::string& path);
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Writes everything cached for the volume that holds path to the device, so that a removable
// target can be taken away; false (with the last error) when the device did not take it all.
bool FlushVolume(const std::string& path);
// Length in bytes, or -1 when the file is missing.
long long FileLength(const std::string& path);

struct FindData {
    std::string name;  // file name without folder
    bool isDirectory = false;
    std::uint64_t size = 0;
};

// Entries of a folder matching a wildcard path ("C:\x\*.*", "C:\x\2010N.*", or a plain file
// path), in the platform's matching order: names compared without regard to case. "*" and "?"
// match as on the original platform, "*.*" matches every name. Empty when nothing matches.
std::vector<FindData> FindFiles(const std::string& wildcardPath);

// Wildcard match of one name, without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace platform
