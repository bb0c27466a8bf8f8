#pragma once
// Which rows of a minute's index are pictures: the rows the minute copy takes and the estimate
// counts, so that both agree on a damaged or foreign index. A row whose camera, position or size
// is NULL or no number, whose size is negative or larger than the copy buffer, or whose picture
// does not lie wholly inside the data file, addresses no picture.
#include <cstddef>
#include <map>
#include <string>

#include "records/ScheduleEntry.h"

namespace storage {

constexpr std::size_t kMaxPictureBytes = 1048576;  // the copy buffer: one picture must fit

enum class Rows { kPictures, kNotPictures };

// "0,2,5" of the cameras in the set.
std::string CameraList(const CameraSet& cameras);

// The condition on camnum of the cameras: a range where they follow each other (every camera,
// or one, the common choices), which a scan tests faster than a list.
std::string CameraCondition(const CameraSet& cameras);

// The condition under which a row of indextable is a picture; true, false or NULL. Its
// parameter ?1 is the length of the minute's data file.
std::string PictureCondition();

// A query of the cameras' rows of schema.indextable with the columns
// r (source rowid), pos, size, camnum, rectime, capstatus, imgwidth, imgheight, frametype,
// codectype. Its parameter ?1 is the length of the minute's data file.
std::string SelectRows(const std::string& schema, const CameraSet& cameras, Rows which);

// Per camera number (from 0), how many of its index rows address no picture.
using RowsOutside = std::map<int, long long>;

// A query of camnum and the count of the cameras' rows that address no picture, one row per
// camera. Its parameter ?1 is the length of the minute's data file.
std::string CountRowsOutside(const std::string& schema, const CameraSet& cameras);

}  // namespace storage
