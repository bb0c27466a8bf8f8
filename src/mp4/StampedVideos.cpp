#include "mp4/StampedVideos.h"

#include <algorithm>

#include "mp4/ExportVerifier.h"
#include "mp4/ImageVideos.h"

namespace mp4 {

std::string SignerText(const std::string& certificateDer) {
    return "\"" + integrity::CertificateCommonName(certificateDer) + "\" (" +
           integrity::CertificateFingerprint(certificateDer) + ")";
}

void AcceptStampedVideos(integrity::VerifyReport& report, const std::string& hostRoot,
                         const std::map<std::string, std::string>& signedParts) {
    std::vector<std::string> still;
    for (const std::string& path : report.changed) {
        const auto recorded = signedParts.find(path);
        if (!IsMp4Name(path) || recorded == signedParts.end()) {
            still.push_back(path);
            continue;
        }
        const ExportCheck check = CheckExportFile(hostRoot + "/" + path);
        if (!check.ok() || !check.Stamped() ||
            check.signatures.front().signedHex != recorded->second) {
            still.push_back(path);
            continue;
        }
        report.stamped.push_back(path + ": received with the stamp of " +
                                 SignerText(check.signatures.back().certificateDer) +
                                 "; signed by its exporter as the backup made it");
    }
    report.changed = std::move(still);
}

}  // namespace mp4
