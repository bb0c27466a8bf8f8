#pragma once
// Checks an image against its manifest: every listed file present with its hash, nothing
// added beside them, the signature, and on request the minute indexes themselves. Older
// images' manifests kept beside it vouch for their files only when signed as it is; a file no
// trusted manifest lists fails the check.
#include <functional>
#include <string>
#include <vector>

#include "integrity/ImageFiles.h"

namespace integrity {

struct VerifyOptions {
    // A public key (PEM) the verifier trusts; empty: the key on the medium is used.
    std::string trustedKeyPem;
    // Also open every minute index read-only and check that its rows stay in its data file.
    bool deep = false;
    // When set, the medium's manifest must hold exactly these bytes (a disc read back against
    // the manifest its image was made with).
    const std::string* expectedManifest = nullptr;
    // Bytes checked so far of the total, after each piece read.
    std::function<void(long long done, long long total)> progress;
    // True stops the check (it then fails).
    std::function<bool()> cancelled;
};

enum class SignatureState {
    kUnsigned,        // no signature beside the manifest
    kGood,            // good, by the trusted key or (without one) the key on the medium
    kBad,             // does not match the manifest
    kOtherKey,        // good by the key on the medium, which is not the trusted one
    kNoTrustedMatch,  // a trusted key was given but the image is not signed
    kUnreadable,      // the key or the signature cannot be read
};

struct VerifyReport {
    std::string where;
    std::string manifestProblem;  // no manifest, or one that cannot be read
    bool partial = false;         // the pass that made the image did not complete
    std::vector<std::string> partialWhy;
    std::size_t listed = 0;
    std::vector<std::string> missing, changed, unlisted, damaged;
    // Files changed since the backup in a way a rule of their kind allows (an MP4 file that
    // took a receiving stamp), each with what was found: they do not fail the check.
    std::vector<std::string> stamped;
    // Older images' manifests kept beside this one that vouch for their files under the same
    // trust, and those that cannot (with why): their files then count as not in the manifest.
    std::vector<std::string> trustedManifests;
    std::vector<std::string> untrusted;
    SignatureState signature = SignatureState::kUnsigned;
    std::string signatureText;
    std::string fingerprint;  // of the key the signature was checked with
    bool trustedKey = false;  // that key was given by the verifier, not taken from the medium
    bool cancelled = false;

    bool ok() const;
    // One line: the verdict, with the manifests and the key it trusted.
    std::string Verdict() const;
    // "SHA256SUMS" and the older manifests that counted.
    std::string Trusted() const;
    // Every finding, one per line, then the signature and the verdict.
    std::vector<std::string> Lines() const;
};

VerifyReport VerifyImage(ImageFiles& image, const VerifyOptions& options);

}  // namespace integrity
