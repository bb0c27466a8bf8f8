#pragma once
// Checks a finished export file as the format's reference player would: its box layout (one
// 'ftyp', one 'moov', the file-level 'meta' last, its 'sumi' and 'suep', a 'cami' in each track's
// 'meta', the signature's nesting) and its signature against the certificate it carries.
#include <string>
#include <vector>

#include "mp4/ExportFinisher.h"
#include "mp4/SurveillanceBoxes.h"

namespace mp4 {

struct ExportCheckOptions {
    // A DER certificate the file must be signed with; "" trusts the one it carries.
    std::string trustedCertificateDer;
    // An unsigned file fails.
    bool requireSignature = false;
};

struct ExportCheck {
    std::string problem;  // "" when the file passed, else the first thing found wrong
    bool ok() const { return problem.empty(); }
    // What was read on the way (complete only when the file passed).
    bool isSigned = false;
    std::string certificateDer;
    // Where the signature lies in the file, for a check by hand.
    std::uint64_t signatureOffset = 0, signatureLength = 0;
    SegmentInfo segment;
    ExportUnitInfo unit;
    std::vector<TrackCamera> cameras;  // the tracks' 'cami', by track ID
    std::vector<TrackStart> starts;    // 'cstb'
};

ExportCheck CheckExportFile(const std::string& path, const ExportCheckOptions& options = {});

}  // namespace mp4
