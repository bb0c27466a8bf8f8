#pragma once
// Where a listed file lands: below the download folder and nowhere else. The names were checked
// when the listing was read (RemoteNameProblem); here the folders on the way are made, and a
// link or a file in their place is refused rather than followed.
#include <string>

namespace share {

// The host path for `name` ('/' between folders) below folder (a drive path ending in "\"),
// with the folders on the way made. "" with why set when that cannot be done safely.
std::string PrepareDownloadPath(const std::string& folder, const std::string& name,
                                std::string* why);

}  // namespace share
