#pragma once
// Drive paths ("C:\QuillonTemp\x") and the host paths behind them.
#include <string>

#include "platform/Error.h"
#include "platform/Types.h"

namespace platform {

// Host path of a drive path or host path. "\" and "/" both separate, doubled separators count as
// one, "." is dropped and ".." never climbs above the drive's root. A component that does not
// exist under its exact name is looked up without regard to case. An unknown drive letter gives
// an empty string (every operation on it then fails).
//
// kCreate is for a name about to be made: when no file of the exact last name exists, the name
// is taken as spelled instead of searching the folder for another spelling, so that making many
// files in one folder costs no listing of it.
enum class PathUse { kOpen, kCreate };
std::string ResolvePath(const std::string& path, PathUse use = PathUse::kOpen);

// The drive letter of a drive path whose drive is not in the drive table; 0 for every other path.
char MissingDrive(const std::string& path);
// "drive Q: of PATH is not in <prefix>/drives.ini" for such a path; "" for every other.
std::string MissingDriveText(const std::string& path);

// The drive path of a host path, by the longest matching drive root ("Z:\..." as last resort).
std::string ToDrivePath(const std::string& hostPath);

// Bit n set when drive 'A' + n is in the table.
DWORD GetLogicalDrives();
// Type of the drive of a root such as "C:\" or "C:" (DRIVE_NO_ROOT_DIR when unknown).
UINT GetDriveTypeA(const std::string& root);
// Free bytes for the caller, total bytes and free bytes of the volume holding path.
bool GetDiskFreeSpaceExA(const std::string& path, std::uint64_t* freeToCaller, std::uint64_t* total,
                         std::uint64_t* totalFree);

// Whether the folder path (drive or host path) exists as a folder or could be made: every
// missing part is below a folder this user may write. Else why not.
Outcome CheckFolderCreation(const std::string& path);

// Folder of the running program as a drive path ending in "\" (for example "C:\Backup\").
std::string GetModulePath();
// Host path of the running program file.
std::string ModuleFileHostPath();

// $QUILLON_RUNTIME_DIR, or $XDG_RUNTIME_DIR/quillon, or /tmp/quillon-<uid>; created, for its
// owner only.
std::string RuntimeDir();
// Whether the runtime folder can be trusted with locks and windows: it must be a folder (not a
// link) of this user that no other user may write.
Outcome CheckRuntimeDir(const std::string& dir);

}  // namespace platform
