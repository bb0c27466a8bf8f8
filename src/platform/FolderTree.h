#pragma once
// Every entry below a folder, found without following links, for checking an image.
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

struct TreeEntry {
    std::string relative;  // below the root, with '/'
    long long size = 0;
    bool regular = true;  // false: a link, a device or anything else that is not a plain file
};

// The files (not folders) below hostRoot in name order, or why the root or a folder below it
// cannot be read (about that folder: not found when it is not there).
Expected<std::vector<TreeEntry>> ListTree(const std::string& hostRoot);

}  // namespace platform
