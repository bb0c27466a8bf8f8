#pragma once
// The report an image's manifest lists, read only as far as the manifest vouches for it: what
// later work on the image (an export, a check of its stamped videos) takes from its backup.
#include <map>
#include <string>

#include "backup/exhibit/JsonValue.h"
#include "integrity/ImageFiles.h"

namespace exhibit {

// "" and the report in out, or why there is none to take (no readable manifest, no report
// listed, one that does not match its digest or cannot be read).
std::string ReadVouchedReport(integrity::ImageFiles& image, JsonValue& out);

// Of the image's signed MP4 files, by path, the digest each exporter's first signature signs,
// as the vouched report records it (empty without one, or for an image made before it did).
std::map<std::string, std::string> SignedPartsOfImage(integrity::ImageFiles& image);

}  // namespace exhibit
