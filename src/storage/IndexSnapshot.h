#pragma once
// A read transaction held on a minute's index while its files are copied whole: the recorder
// cannot commit to the index meanwhile, so the copy is one state of a minute being written.
#include <string>

#include "companions/CppSQLite3.h"

namespace storage {

class IndexSnapshot {
  public:
    // indexPath: a host or drive path. An index that cannot be opened is copied as it is.
    explicit IndexSnapshot(const std::string& indexPath);
    ~IndexSnapshot();
    IndexSnapshot(const IndexSnapshot&) = delete;
    IndexSnapshot& operator=(const IndexSnapshot&) = delete;
    bool held() const { return held_; }

  private:
    CppSQLite3DB db_;
    bool held_ = false;
};

}  // namespace storage
