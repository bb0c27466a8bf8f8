#pragma once
// A folder listed once, for the many lookups of one job: a recorder's day or Audio folder holds
// thousands of files, and a lookup without regard to case must not list it again each time.
// Names added to the folder after the listing are not seen; sizes are read at each lookup.
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

class FolderIndex {
  public:
    FolderIndex() = default;
    // Lists folder (a drive or host path); an index of a missing folder finds nothing.
    explicit FolderIndex(const std::string& folder);

    bool exists() const { return exists_; }
    const std::string& hostPath() const { return host_; }
    // The entry whose name is name, or spelled otherwise without regard to case; false when
    // there is none (or it went away since the listing).
    bool Find(const std::string& name, FindData& found) const;
    // The entries matching a wildcard ("*" and "?"), in the platform's search order.
    std::vector<FindData> Match(const std::string& pattern) const;

  private:
    std::string host_;
    bool exists_ = false;
    // (name folded to lower case, name), sorted: a wildcard with a plain beginning, such as one
    // minute's "201005231405N.*", visits only the names that begin that way.
    std::vector<std::pair<std::string, std::string>> names_;
};

}  // namespace platform
