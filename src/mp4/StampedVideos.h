#pragma once
// An MP4 file of an image that took a receiving stamp no longer has the digest its manifest
// lists. It is still the backup's when its exporter's signature holds and signs what the
// image's report recorded for it, and the stamp's own signature holds.
#include <map>
#include <string>

#include "integrity/Verify.h"

namespace mp4 {

// Moves each such file of report.changed to report.stamped, with who stamped it. hostRoot: the
// folder image; signedParts: by path, what its report records the first signatures sign.
void AcceptStampedVideos(integrity::VerifyReport& report, const std::string& hostRoot,
                         const std::map<std::string, std::string>& signedParts);

// "\"name\" (SHA256:…)" of a DER certificate, for what is printed.
std::string SignerText(const std::string& certificateDer);

}  // namespace mp4
