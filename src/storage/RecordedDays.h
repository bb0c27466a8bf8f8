#pragma once
// The days a recorder holds: the day folders below the recordings root that have a day map.
#include <string>
#include <vector>

namespace storage {

// YYYYMMDD of every recorded day, newest first.
std::vector<std::string> ListRecordedDays(const std::string& root);

}  // namespace storage
