#pragma once
// Every entry below a folder, found without following links, for checking an image.
#include <string>
#include <vector>

namespace platform {

struct TreeEntry {
    std::string relative;  // below the root, with '/'
    long long size = 0;
    bool regular = true;  // false: a link, a device or anything else that is not a plain file
};

// The files (not folders) below hostRoot in name order; false with why when the root or a
// folder below it cannot be read.
bool ListTree(const std::string& hostRoot, std::vector<TreeEntry>& out, std::string& why);

}  // namespace platform
