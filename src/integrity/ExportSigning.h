#pragma once
// RSA signing of video exports. Verifiers of the export format take RSA keys and a certificate
// carried in the file, so beside the manifest's Ed25519 key the machine has an RSA-3072 key and
// a self-signed X.509 certificate naming the unit, in the same key folder, the private key
// readable by its owner only. Signatures are RSASSA-PSS with SHA-256 (MGF1 with SHA-256, salt
// as long as the digest), which `openssl dgst -sha256 -verify pub.pem -sigopt
// rsa_padding_mode:pss` checks.
#include <array>
#include <cstddef>
#include <string>

#include "platform/Error.h"

namespace integrity {

// The key (PEM) and the certificate (PEM) in a key folder (see SigningKeyFolder()).
std::string ExportKeyPath(const std::string& folder);
std::string ExportCertificatePath(const std::string& folder);

// True when folder holds an export key.
bool HasExportKey(const std::string& folder);
// Makes an RSA-3072 key and a self-signed certificate whose subject's common name is unitName;
// refused when a key is there already (it is never replaced) or the name cannot be one, failed
// when they cannot be made.
platform::Outcome CreateExportKey(const std::string& folder, const std::string& unitName);

struct ExportKey {
    std::string privatePem;
    std::string certificateDer;
};
// The key and certificate of folder, checked to belong together: not found when one cannot be
// read, damaged when one is not what it should be or they do not belong together.
platform::Expected<ExportKey> LoadExportKey(const std::string& folder);
// The same for a key and a certificate (both PEM) given by their host paths.
platform::Expected<ExportKey> LoadExportKeyFiles(const std::string& keyPath,
                                                 const std::string& certificatePath);

using Sha256Digest = std::array<unsigned char, 32>;
// The length of the key's signatures in bytes (384 for RSA-3072); 0 when it cannot be read.
std::size_t RsaSignatureLength(const std::string& privatePem);
// The signature of the SHA-256 digest of some bytes, or of the bytes themselves.
platform::Expected<std::string> RsaPssSignDigest(const std::string& privatePem,
                                                 const Sha256Digest& digest);
platform::Expected<std::string> RsaPssSign(const std::string& privatePem, const std::string& bytes);
// Done when signature is a good RSASSA-PSS / SHA-256 signature of the digest by the key of the
// DER certificate (any salt length); damaged when it does not match; failed when the certificate
// or its key cannot be used, so nothing could be checked.
platform::Outcome CheckRsaPssSignature(const std::string& certificateDer,
                                       const Sha256Digest& digest, const std::string& signature);

// The subject's common name of a DER certificate ("" when it cannot be read), and the SHA-256
// of the whole certificate in groups of four hex digits ("SHA256:" first).
std::string CertificateCommonName(const std::string& certificateDer);
std::string CertificateFingerprint(const std::string& certificateDer);
// The DER bytes of a certificate given as PEM or as DER; "" when it is neither.
std::string CertificateDer(const std::string& pemOrDer);

}  // namespace integrity
