#pragma once
// Disc writer drives for tests: libburn pseudo-drives ("stdio:" files) in the drive table,
// acting as the medium named, and xorriso to read back what was written.
#include <cstdio>
#include <string>

#include "TestEnv.h"
#include "platform/DriveTable.h"

// Maps letter as a cdrom drive whose disc is the file (host path); "" for a drive without a
// disc. media as drives.ini takes it ("dvd+rw", "cd-r", ...); capacityMB 0 for the usual.
inline void MapPseudoDrive(const std::string& prefix, char letter, const std::string& file,
                           const std::string& media = "", int capacityMB = 0) {
    platform::DriveTable table = platform::DriveTable::Load(prefix);
    table.Set({letter, prefix + "/disc_" + std::string(1, letter), platform::DRIVE_CDROM,
               "stdio:" + file, media, capacityMB});
    table.Save(prefix);
}

// Runs a shell command line; its exit status.
inline int Shell(const std::string& command) {
    return std::system(command.c_str());
}

// The files of an ISO image extracted below folder (host paths); true when xorriso could.
inline bool ExtractIso(const std::string& image, const std::string& folder) {
    return Shell("xorriso -osirrox on -indev '" + image + "' -extract / '" + folder +
                 "' >/dev/null 2>&1") == 0;
}

// The volume id of an ISO image: 32 characters at 40 into block 16, blanks cut.
inline std::string VolumeId(const std::string& image) {
    const std::string bytes = TempPrefixTest::ReadText(image);
    if (bytes.size() < 16 * 2048 + 72)
        return std::string();
    std::string id = bytes.substr(16 * 2048 + 40, 32);
    id.erase(id.find_last_not_of(' ') + 1);
    return id;
}
