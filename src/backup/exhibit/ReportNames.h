#pragma once
// The names of an image's report at its root. A folder that takes several backups keeps the
// earlier images' manifests beside the new one (SHA256SUMS-1, ...), and those still list their
// own report.json and REPORT.pdf: a later image's report takes the next free pair of names
// (report-2.json and REPORT-2.pdf, ...) rather than overwrite files an earlier manifest vouches
// for. The report of an image is the one its manifest lists.
#include <string>

#include "integrity/Manifest.h"

namespace exhibit {

struct ReportNames {
    std::string json;
    std::string pdf;
};

// The names for the report of an image about to be made in the folder rootHost; keepsOlder:
// the folder keeps the earlier images' manifests (a disc's image folder holds one image only).
ReportNames NewReportNames(const std::string& rootHost, bool keepsOlder);

// Whether a path relative to an image root is a report's file (report.json, REPORT-3.pdf, ...).
bool IsReportFile(const std::string& relative);

// The report.json the manifest lists; "" when it lists none.
std::string ListedReportJson(const integrity::Manifest& manifest);

// Whether bytes are the file the manifest lists as path: what a report recorded is taken only
// as the manifest vouches for it, never restated from a file changed since.
bool ListedAs(const integrity::Manifest& manifest, const std::string& path,
              const std::string& bytes);

}  // namespace exhibit
