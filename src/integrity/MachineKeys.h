#pragma once
// The machine's two signing keys made on the operator's word: the manifest's Ed25519 key and the
// export's RSA key with its certificate. The export key came later than the manifest's, so a
// machine that has only the one gets the other; only a machine with both is refused, since
// neither key is ever replaced.
#include <string>

namespace integrity {

struct MadeKeys {
    enum class Step { kFailed, kKept, kMade };
    Step manifestKey = Step::kFailed;
    Step exportKey = Step::kFailed;  // not tried when the manifest's key failed
    std::string fingerprint;         // of the manifest's key, when it was made
    // The certificate's fingerprint when it was made, or why it cannot be read back.
    std::string certificate;
    std::string problem;  // why a key could not be made ("" when none failed)
};

// Makes the keys folder lacks (see SigningKeyFolder()); the certificate names unitName.
MadeKeys CreateMachineKeys(const std::string& folder, const std::string& unitName);

}  // namespace integrity
