#pragma once
// The image of an all-camera entry whose minutes are over and sound is the recorder's own
// files, byte for byte, as the extraction copies them whole: the server hashes and serves such
// files from the recordings, read only, instead of copying them first. A minute that is not
// plain (one not yet over on the recorder's clock, a write-ahead log beside its index, an index
// naming pictures its data file lacks, half its files, a link) leaves the entry to the
// extraction.
#include <optional>
#include <string>
#include <vector>

#include "backup/HostSettings.h"
#include "backup/pass/BackupPackage.h"
#include "records/ScheduleEntry.h"

struct DirectFile {
    std::string name;      // in the image, below the entry's day folder, '/' between folders
    std::string hostPath;  // the recorder's file
    long long size = 0;
};

// The files of the entry's image in the extraction's order, or nullopt when it must be built.
// map: the entry's minute map (a recorded minute without files is no plain minute).
std::optional<std::vector<DirectFile>> DirectEntryFiles(const backup::HostSettings& host,
                                                        const ScheduleEntry& entry,
                                                        const EntryImagePaths& p,
                                                        const MinuteMapBlock& map);
