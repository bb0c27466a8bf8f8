#pragma once
// The files of a written disc, read back through its ISO 9660 file system (Rock Ridge names):
// a pseudo-drive's disc file, or a real drive's device.
#include <memory>
#include <string>

#include "integrity/ImageFiles.h"

namespace disc {

// The disc in the writer drive of that letter (its Device= in the drive table), or why there is
// none or it holds no readable image.
platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenDiscImage(char letter);
// The image in a file or device ("stdio:" before a path is taken off).
platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenIsoImage(const std::string& device);

}  // namespace disc
