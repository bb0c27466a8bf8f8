#pragma once
// Checks a finished export file as the format's reference player would: its box layout (one
// 'ftyp', one 'moov', the file-level 'meta' last, its 'sumi' and 'suep', a 'cami' in each track's
// 'meta', the signatures' nesting) and each signature against the certificate beside it.
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

// One signature of a file, as found.
struct SignatureCheck {
    std::string certificateDer;
    std::uint64_t offset = 0, length = 0;  // where its bytes lie in the file
    std::string signedHex;                 // the digest it signs
};

struct ExportCheck {
    std::string problem;  // "" when the file passed, else the first thing found wrong
    bool ok() const { return problem.empty(); }
    // What was read on the way (complete only when the file passed).
    bool isSigned = false;
    // The first signature's (the exporter's) certificate, and where it lies in the file, for a
    // check by hand.
    std::string certificateDer;
    std::uint64_t signatureOffset = 0, signatureLength = 0;
    // Every signature, in file order: the exporter's first, each checked against the certificate
    // beside it (the first also against a trusted one).
    std::vector<SignatureCheck> signatures;
    // The last signature is by another certificate than the first: a receiving stamp.
    bool Stamped() const {
        return signatures.size() > 1 && signatures.back().certificateDer != certificateDer;
    }
    SegmentInfo segment;
    ExportUnitInfo unit;
    std::vector<TrackCamera> cameras;  // the tracks' 'cami', by track ID
    std::vector<TrackStart> starts;    // 'cstb'
};

ExportCheck CheckExportFile(const std::string& path, const ExportCheckOptions& options = {});

}  // namespace mp4
