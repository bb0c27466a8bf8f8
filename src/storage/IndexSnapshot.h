#pragma once
// A read transaction held on a minute's index while its files are copied whole: the recorder
// cannot commit to the index meanwhile, so the copy is one state of a minute being written.
#include <string>

#include "companions/CppSQLite3.h"
#include "storage/PictureRows.h"

namespace storage {

// What is wrong with a minute's index that the database library refused, in plain words, when
// it lies in the recording itself (not a database, no picture table); "" when it may pass (the
// recorder holds it, the disk is busy).
std::string IndexDamageText(int code, const std::string& message);

class IndexSnapshot {
  public:
    // indexPath: a host or drive path. An index that cannot be opened is copied as it is.
    explicit IndexSnapshot(const std::string& indexPath);
    ~IndexSnapshot();
    IndexSnapshot(const IndexSnapshot&) = delete;
    IndexSnapshot& operator=(const IndexSnapshot&) = delete;
    bool held() const { return held_; }
    // Why it is not held, when the index itself is damaged ("" otherwise).
    const std::string& damage() const { return damage_; }
    // The rows of the held state that address no picture in a data file of dataLength bytes,
    // camera by camera: a damaged minute. Empty when it is sound or the index is not held.
    RowsOutside RowsOutsideData(long long dataLength);

  private:
    CppSQLite3DB db_;
    bool held_ = false;
    std::string damage_;
};

}  // namespace storage
