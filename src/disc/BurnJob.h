#pragma once
// The writer's drives and its job under way, shared by the parts of BurnWriter: the drive
// table, the image builder and the job thread.
#include <string>

// libisofs declares a global struct burn_source; libburn declares its own in namespace burn.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include "disc/BurnWriter.h"

namespace disc {

struct BurnWriter::Drive {
    char letter = 0;
    std::string device;
    bool pseudo = false;
    std::string file;  // a pseudo-drive's file; "" is a drive without a disc
    Medium medium;
    long long capacityBytes = 0;
};

// A write or an erase under way, with what it must free.
struct BurnWriter::Job {
    bool erase = false;
    bool pseudo = false;
    platform::LockedFile* file = nullptr;   // the pseudo-drive's disc
    burn::burn_drive_info* grab = nullptr;  // a pseudo-drive's grab, for this job only
    burn::burn_drive* drive = nullptr;
    burn::burn_write_opts* opts = nullptr;
    burn::burn_disc* disc = nullptr;
    IsoImage* image = nullptr;
    long sectors = 0;                    // of the image, known before writing
    std::string device;                  // what the disc is read back from
    IWrittenDiscCheck* check = nullptr;  // of the disc once written
};

}  // namespace disc
