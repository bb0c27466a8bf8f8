#pragma once
// The deep look at a minute of an image: its index opens as a database, read-only, and every
// row it holds addresses bytes inside the minute's data file.
#include <map>
#include <string>

#include "integrity/ImageFiles.h"

namespace integrity {

// "" when path is no minute index or a sound one; else what is wrong with it.
std::string CheckMinuteIndex(ImageFiles& image,
                             const std::map<std::string, ImageFiles::Entry>& files,
                             const std::string& path);

}  // namespace integrity
