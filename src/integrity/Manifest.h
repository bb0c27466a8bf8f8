#pragma once
// The checksum manifest of an image: SHA256SUMS in the image root, in the format sha256sum
// prints and checks, with a signature and the public key beside it when the image is signed.
#include <map>
#include <string>
#include <vector>

#include "integrity/ImageHasher.h"

namespace integrity {

constexpr const char* kManifestName = "SHA256SUMS";
constexpr const char* kSignatureName = "SHA256SUMS.sig";
constexpr const char* kPublicKeyName = "SHA256SUMS.pub";
// The image's custody log (CustodyLog.h).
constexpr const char* kCustodyLogName = "CUSTODY.jsonl";
// The first line of the manifest of an image whose pass did not complete.
constexpr const char* kPartialMarker = "# PARTIAL IMAGE";

// The manifest's own files in the root: the current ones and those of older images kept
// beside them (SHA256SUMS-1, SHA256SUMS-1.sig, ...), and the image's custody log.
bool IsManifestFile(const std::string& relative);
// The kept name of the n-th older manifest file ("SHA256SUMS-n" with the name's suffix).
std::string OlderManifestName(const std::string& name, int n);
// n of an older image's manifest "SHA256SUMS-n" (not its signature or key); 0 for any other name.
int OlderManifestNumber(const std::string& relative);

struct ManifestLine {
    std::string hex;
    std::string path;  // relative to the image root, with '/'
};

struct Manifest {
    bool partial = false;
    std::vector<std::string> comments;  // the text of its '#' lines
    std::vector<ManifestLine> lines;
};

// The manifest text of files; partialWhy (when not empty) makes it a partial one, its lines
// the first line's reason and the comments after it.
std::string FormatManifest(const std::map<std::string, FileDigest>& files,
                           const std::vector<std::string>& partialWhy);
// Reads a manifest; "" or what is wrong with it (the line that cannot be read).
std::string ParseManifest(const std::string& text, Manifest& out);

}  // namespace integrity
