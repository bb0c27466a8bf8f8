#include "platform/FolderIndex.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>

#include "platform/DrivePaths.h"
#include "platform/TextCase.h"

namespace platform {
FolderIndex::FolderIndex(const std::string& folder) : host_(ResolvePath(folder)) {
    DIR* dir = host_.empty() ? nullptr : ::opendir(host_.c_str());
    if (!dir)
        return;
    exists_ = true;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        names_.emplace_back(FoldCase(name), std::move(name));
    }
    ::closedir(dir);
    std::sort(names_.begin(), names_.end());
}

bool FolderIndex::Find(const std::string& name, FindData& found) const {
    if (!exists_)
        return false;
    const std::string base = host_ == "/" ? std::string() : host_;
    // The exact spelling first: one look, and a name made after the listing is seen too.
    if (StatEntry(base + "/" + name, found)) {
        found.name = name;
        return true;
    }
    const std::string folded = FoldCase(name);
    const auto it =
        std::lower_bound(names_.begin(), names_.end(), std::make_pair(folded, std::string()));
    if (it == names_.end() || it->first != folded)
        return false;
    found.name = it->second;
    return StatEntry(base + "/" + found.name, found);
}

std::vector<FindData> FolderIndex::Match(const std::string& pattern) const {
    std::vector<FindData> out;
    const std::string base = host_ == "/" ? std::string() : host_;
    const std::string prefix = FoldCase(pattern.substr(0, pattern.find_first_of("*?")));
    for (auto it =
             std::lower_bound(names_.begin(), names_.end(), std::make_pair(prefix, std::string()));
         it != names_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        FindData f;
        f.name = it->second;
        if (WildcardMatch(pattern, it->second) && StatEntry(base + "/" + it->second, f))
            out.push_back(f);
    }
    SortAsSearched(out);
    return out;
}

}  // namespace platform
