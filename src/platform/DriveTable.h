#pragma once
// The drive table: which host folder stands for each drive letter, and what kind of drive it is.
// Kept as <prefix>/drives.ini, one section per letter ("[C:]" with Path=, Type=, and for a disc
// writer Device=, Media=, CapacityMB=).
#include <memory>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace platform {

enum DriveType : UINT {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
};

struct DriveInfo {
    char letter = 0;       // upper case 'A'..'Z'
    std::string hostRoot;  // host folder, no trailing '/' (except "/")
    UINT type = DRIVE_FIXED;
    std::string device;  // writer address for a cdrom drive
    // For a pseudo-drive ("stdio:/path"): the medium it acts as ("dvd+rw", "cd-r", ...) and its
    // capacity in MB (0: the medium's usual size).
    std::string media;
    int capacityMB = 0;
};

class DriveTable {
  public:
    // Reads <prefix>/drives.ini; when it is missing, the defaults: C: as <prefix>/drive_c
    // (created), removable media mounted below /media or /run/media from E:, Z: as "/".
    static DriveTable Load(const std::string& prefix);

    const DriveInfo* Find(char letter) const;
    const std::vector<DriveInfo>& drives() const { return drives_; }

    // Writes the table as drives.ini into prefix (so users and tests can map drives).
    bool Save(const std::string& prefix) const;
    void Set(const DriveInfo& drive);

  private:
    std::vector<DriveInfo> drives_;
};

// $QUILLON_PREFIX, or ~/.local/share/quillon.
std::string MachinePrefix();

// The table of the current machine prefix, re-read when the prefix or drives.ini changes.
std::shared_ptr<const DriveTable> CurrentDrives();

const char* DriveTypeName(UINT type);
UINT DriveTypeFromName(const std::string& name);

}  // namespace platform
