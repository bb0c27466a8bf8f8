#include "storage/RecordedDays.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "storage/RecorderPaths.h"

namespace storage {

std::vector<std::string> ListRecordedDays(const std::string& root) {
    std::vector<std::string> days;
    for (const auto& f : platform::FindFiles(root + "\\*.*")) {
        const bool digits =
            f.name.size() == 8 &&
            std::all_of(f.name.begin(), f.name.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (f.isDirectory && digits &&
            platform::FileExists(paths::DayMapPath(paths::DayFolder(root, f.name), f.name)))
            days.push_back(f.name);
    }
    std::sort(days.rbegin(), days.rend());
    return days;
}

}  // namespace storage
