#pragma once
// The drive table: which host folder stands for each drive letter, and what kind of drive it is.
// Kept as <prefix>/drives.ini, one section per letter ("[C:]" with Path=, Type=, and for a disc
// writer Device=, Media=, CapacityMB=; a writer needs no Path=).
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
    // One of the defaults (C: or Z:) that the table does not name: not written back by Save.
    bool builtIn = false;
};

// A section of drives.ini the table could not use, with what is wrong with it.
struct DriveProblem {
    char letter = 0;   // 0 when the section names no drive letter
    std::string text;  // "drives.ini [F:]: ...; the section is not used"
};

class DriveTable {
  public:
    // Reads <prefix>/drives.ini; when it is missing, the defaults: C: as <prefix>/drive_c
    // (created), removable media mounted below /media or /run/media from E:, Z: as "/". A table
    // that does not name C: or Z: keeps their defaults. A section that cannot be used is left
    // out and told in problems().
    static DriveTable Load(const std::string& prefix);

    const DriveInfo* Find(char letter) const;
    const std::vector<DriveInfo>& drives() const { return drives_; }
    const std::vector<DriveProblem>& problems() const { return problems_; }
    // The problems of the section of letter, one a line ("" when it has none).
    std::string ProblemsOf(char letter) const;

    // Writes the table as drives.ini into prefix (so users and tests can map drives), with the
    // sections it could not use as they were.
    bool Save(const std::string& prefix) const;
    void Set(const DriveInfo& drive);

  private:
    std::vector<DriveInfo> drives_;
    std::vector<DriveProblem> problems_;
    // The sections not used, as read: saved again unless their drive was set since, so that
    // a table saved by a program keeps what the operator wrote.
    struct Unused {
        char letter;
        std::string text;
    };
    std::vector<Unused> unused_;
};

// $QUILLON_PREFIX, or ~/.local/share/quillon.
std::string MachinePrefix();

// The table of the current machine prefix, re-read when the prefix or drives.ini changes.
std::shared_ptr<const DriveTable> CurrentDrives();

const char* DriveTypeName(UINT type);
// DRIVE_FIXED for a name that is none of "fixed", "removable", "remote" and "cdrom".
UINT DriveTypeFromName(const std::string& name);
// The Media= names a pseudo-drive takes ("" is a DVD+RW, "none" a drive without a disc).
bool IsPseudoMediaName(const std::string& name);

}  // namespace platform
