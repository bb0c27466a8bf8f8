#pragma once
// The exhibit report of the image a pass has written, made as the pass closes its image: from
// the pass's plan (the case, the recorder) and from the image's own files, with the digests the
// manifest will list.
#include <map>
#include <string>
#include <vector>

#include "backup/pass/PassJob.h"
#include "integrity/ImageHasher.h"

namespace exhibit {

// Writes report.json and REPORT.pdf into rootHost and adds their digests to files (every file
// the pass wrote, by path below the root); a report that cannot be written fails the pass.
void WritePassReport(backup::PassJob& job, const std::string& rootHost,
                     std::map<std::string, integrity::FileDigest>& files);

}  // namespace exhibit
