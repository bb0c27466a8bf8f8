#pragma once
// A folder as a POSIX tar archive with the folder itself as the archive's top folder, written
// into a sink as it is read: regular files and folders only, so that what is taken out is what
// was put in. Owners, groups and permissions are not carried (0644 files, 0755 folders).
#include <cstdint>
#include <functional>
#include <string>

#include "disclosure/ByteStream.h"

namespace disclosure {

struct TarOptions {
    // The modification time of the archive's folders (seconds since 1970); files keep theirs.
    std::int64_t folderTime = 0;
    // Bytes of files archived so far, after each file.
    std::function<void(std::uint64_t)> progress;
};

// Archives the folder at hostFolder under the name topName. Refused, with its name, at the
// first entry that is a link or anything but a file or folder, and at a file whose length
// changes while it is read.
platform::Outcome WriteFolderAsTar(const std::string& hostFolder, const std::string& topName,
                                   ByteSink& out, const TarOptions& options = {});

}  // namespace disclosure
