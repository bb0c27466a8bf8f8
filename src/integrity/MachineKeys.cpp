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
    } else if (const platform::Outcome created = CreateSigningKey(folder); !created) {
        made.problem = created.error().text;
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
    if (const platform::Outcome created = CreateExportKey(folder, unitName); !created) {
        made.problem = created.error().text;
        return made;
    }
    made.exportKey = MadeKeys::Step::kMade;
    const platform::Expected<ExportKey> key = LoadExportKey(folder);
    made.certificate = key ? CertificateFingerprint(key->certificateDer) : key.error().text;
    return made;
}

}  // namespace integrity
