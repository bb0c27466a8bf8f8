#pragma once
// Ed25519 signing of manifests. The key pair lives in the machine prefix, the private key
// readable by its owner only; keys are PEM files, the signature is the raw 64 bytes, so that
// `openssl pkeyutl -verify -pubin -inkey SHA256SUMS.pub -rawin -in SHA256SUMS -sigfile
// SHA256SUMS.sig` checks an image without our software.
#include <string>

#include "platform/Error.h"

namespace integrity {

// The folder of the machine's signing key and its two files (host paths).
std::string SigningKeyFolder();
std::string PrivateKeyPath(const std::string& folder);
std::string PublicKeyPath(const std::string& folder);

// Makes a new key pair in folder; refused when a key is there already (a key is never replaced,
// since images signed with it would lose their proof), failed when it cannot be made.
platform::Outcome CreateSigningKey(const std::string& folder);
// True when folder holds a private key.
bool HasSigningKey(const std::string& folder);

// The Ed25519 signature of bytes by the PEM private key.
platform::Expected<std::string> Sign(const std::string& privatePem, const std::string& bytes);
// Done when signature is a good Ed25519 signature of bytes by the PEM public (or private) key;
// damaged when it is not; failed when the key cannot be read, so nothing could be checked.
platform::Outcome CheckSignature(const std::string& publicPem, const std::string& bytes,
                                 const std::string& signature);
// The public key of a PEM private or public key ("" when it cannot be read).
std::string PublicPemOf(const std::string& pem);
// "SHA256:" and the hex of the SHA-256 of the raw public key, in groups of four; "" when the
// key cannot be read.
std::string Fingerprint(const std::string& publicPem);

}  // namespace integrity
