#include "integrity/MachineKeys.h"

#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "platform/File.h"

namespace integrity {

MadeKeys CreateMachineKeys(const std::string& folder, const std::string& unitName) {
    MadeKeys made;
    const bool hadExportKey = HasExportKey(folder);
    if (!hadExportKey && HasSigningKey(folder)) {
        made.manifestKey = MadeKeys::Step::kKept;
    } else if (made.problem = CreateSigningKey(folder); !made.problem.empty()) {
        return made;
    } else {
        made.manifestKey = MadeKeys::Step::kMade;
        std::string publicPem;
        platform::ReadWholeFile(PublicKeyPath(folder), publicPem, 65536);
        made.fingerprint = Fingerprint(publicPem);
    }
    if (hadExportKey) {
        made.exportKey = MadeKeys::Step::kKept;
        return made;
    }
    if (made.problem = CreateExportKey(folder, unitName); !made.problem.empty())
        return made;
    made.exportKey = MadeKeys::Step::kMade;
    ExportKey key;
    made.certificate = LoadExportKey(folder, key);
    if (made.certificate.empty())
        made.certificate = CertificateFingerprint(key.certificateDer);
    return made;
}

}  // namespace integrity
