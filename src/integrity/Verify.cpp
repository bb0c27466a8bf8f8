#include "integrity/Verify.h"

#include <map>
#include <set>

#include "integrity/Manifest.h"
#include "integrity/MinuteIndexCheck.h"
#include "integrity/Sha256.h"
#include "integrity/Signing.h"

namespace integrity {
namespace {

std::string TopFolder(const std::string& path) {
    const std::size_t cut = path.find('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void CheckSignature(ImageFiles& image, const std::map<std::string, ImageFiles::Entry>& files,
                    const std::string& manifest, const VerifyOptions& options, VerifyReport& r) {
    std::string why, signature, mediumKey;
    const bool signedImage = files.count(kSignatureName) != 0;
    if (!signedImage) {
        r.signature = options.trustedKeyPem.empty() ? SignatureState::kUnsigned
                                                    : SignatureState::kNoTrustedMatch;
        r.signatureText = options.trustedKeyPem.empty()
                              ? "the manifest is not signed"
                              : "the manifest is not signed, so it cannot be checked against the "
                                "trusted key";
        return;
    }
    if (!image.ReadWhole(kSignatureName, signature, why, 4096)) {
        r.signature = SignatureState::kUnreadable;
        r.signatureText = std::string(kSignatureName) + " " + why;
        return;
    }
    if (files.count(kPublicKeyName))
        image.ReadWhole(kPublicKeyName, mediumKey, why, 65536);
    const bool trusted = !options.trustedKeyPem.empty();
    const std::string& key = trusted ? options.trustedKeyPem : mediumKey;
    if (key.empty()) {
        r.signature = SignatureState::kUnreadable;
        r.signatureText = std::string("the manifest is signed but ") + kPublicKeyName +
                          " is missing; give the signer's key with --key";
        return;
    }
    r.fingerprint = Fingerprint(key);
    std::string keyProblem;
    if (SignatureGood(key, manifest, signature, &keyProblem)) {
        r.signature = SignatureState::kGood;
        r.signatureText = trusted ? "good signature by the trusted key " + r.fingerprint
                                  : "good signature by the key on the medium " + r.fingerprint +
                                        " (compare it with the fingerprint the backup printed, "
                                        "or check with --key)";
        return;
    }
    if (!keyProblem.empty()) {
        r.signature = SignatureState::kUnreadable;
        r.signatureText = keyProblem;
        return;
    }
    if (trusted && !mediumKey.empty() && SignatureGood(mediumKey, manifest, signature)) {
        r.signature = SignatureState::kOtherKey;
        r.signatureText = "signed by another key than the trusted one: " + Fingerprint(mediumKey);
        return;
    }
    r.signature = SignatureState::kBad;
    r.signatureText = "BAD signature: the manifest is not the one that was signed";
}

// The files that older images' manifests kept beside this one list.
std::set<std::string> OlderImageFiles(ImageFiles& image,
                                      const std::map<std::string, ImageFiles::Entry>& files) {
    std::set<std::string> older;
    for (const auto& [path, entry] : files) {
        if (path == kManifestName || !IsManifestFile(path) || path.size() < 4 ||
            path.compare(path.size() - 4, 4, ".sig") == 0 ||
            path.compare(path.size() - 4, 4, ".pub") == 0)
            continue;
        std::string text, why;
        Manifest m;
        if (image.ReadWhole(path, text, why) && ParseManifest(text, m).empty())
            for (const auto& line : m.lines)
                older.insert(line.path);
    }
    return older;
}

}  // namespace

bool VerifyReport::ok() const {
    const bool signatureOk =
        signature == SignatureState::kGood || signature == SignatureState::kUnsigned;
    return manifestProblem.empty() && !partial && !cancelled && missing.empty() &&
           changed.empty() && unlisted.empty() && damaged.empty() && signatureOk;
}

std::string VerifyReport::Verdict() const {
    if (!manifestProblem.empty())
        return "NOT VERIFIED: " + manifestProblem;
    if (cancelled)
        return "NOT VERIFIED: the check was stopped";
    std::vector<std::string> found;
    auto count = [&](std::size_t n, const char* what) {
        if (n)
            found.push_back(std::to_string(n) + " " + what);
    };
    count(changed.size(), changed.size() == 1 ? "file changed" : "files changed");
    count(missing.size(), missing.size() == 1 ? "file missing" : "files missing");
    count(unlisted.size(),
          unlisted.size() == 1 ? "file not in the manifest" : "files not in the manifest");
    count(damaged.size(), damaged.size() == 1 ? "minute index damaged" : "minute indexes damaged");
    if (signature == SignatureState::kBad || signature == SignatureState::kOtherKey ||
        signature == SignatureState::kNoTrustedMatch || signature == SignatureState::kUnreadable)
        found.push_back("signature not good");
    if (!found.empty()) {
        std::string text = "FAILED: ";
        for (std::size_t i = 0; i < found.size(); ++i)
            text += (i ? ", " : "") + found[i];
        return text + " (" + std::to_string(listed) + " files listed)";
    }
    if (partial)
        return "INCOMPLETE: the " + std::to_string(listed) +
               " listed files match, but the backup that made this image did not complete";
    return "VERIFIED: all " + std::to_string(listed) + " files match the manifest" +
           (signature == SignatureState::kGood ? ", signature good" : ", not signed");
}

std::vector<std::string> VerifyReport::Lines() const {
    std::vector<std::string> lines;
    if (partial)
        lines.push_back("partial image: " + (partialWhy.empty() ? std::string() : partialWhy[0]));
    for (const auto& p : missing)
        lines.push_back("MISSING          " + p);
    for (const auto& p : changed)
        lines.push_back("CHANGED          " + p);
    for (const auto& p : unlisted)
        lines.push_back("NOT IN MANIFEST  " + p);
    for (const auto& p : damaged)
        lines.push_back("DAMAGED          " + p);
    for (const auto& n : notes)
        lines.push_back("note: " + n);
    if (manifestProblem.empty())
        lines.push_back("signature: " + signatureText);
    lines.push_back(Verdict());
    return lines;
}

VerifyReport VerifyImage(ImageFiles& image, const VerifyOptions& options) {
    VerifyReport r;
    r.where = image.Where();
    std::vector<ImageFiles::Entry> listing;
    std::string why;
    if (!image.List(listing, why)) {
        r.manifestProblem = "the image cannot be read: " + why;
        return r;
    }
    std::map<std::string, ImageFiles::Entry> files;
    for (const auto& e : listing)
        files[e.path] = e;
    std::string manifestText;
    if (!files.count(kManifestName)) {
        r.manifestProblem = std::string("there is no ") + kManifestName + " in " + r.where;
        return r;
    }
    if (!image.ReadWhole(kManifestName, manifestText, why)) {
        r.manifestProblem = std::string(kManifestName) + " " + why;
        return r;
    }
    if (options.expectedManifest && *options.expectedManifest != manifestText) {
        r.manifestProblem =
            std::string(kManifestName) + " is not the manifest the image was made with";
        return r;
    }
    Manifest manifest;
    if (const std::string problem = ParseManifest(manifestText, manifest); !problem.empty()) {
        r.manifestProblem = std::string(kManifestName) + " cannot be read: " + problem;
        return r;
    }
    r.partial = manifest.partial;
    if (r.partial)
        r.partialWhy = manifest.comments;
    r.listed = manifest.lines.size();
    CheckSignature(image, files, manifestText, options, r);

    long long total = 0, done = 0;
    for (const auto& line : manifest.lines)
        if (auto it = files.find(line.path); it != files.end())
            total += it->second.size;
    std::set<std::string> listed, coveredFolders;
    for (const auto& line : manifest.lines) {
        listed.insert(line.path);
        coveredFolders.insert(TopFolder(line.path));
        if (options.cancelled && options.cancelled()) {
            r.cancelled = true;
            return r;
        }
        const auto it = files.find(line.path);
        if (!SafeRelativePath(line.path) || it == files.end() || !it->second.regular) {
            r.missing.push_back(line.path);
            continue;
        }
        Sha256 hash;
        const bool read = image.Read(
            line.path,
            [&](const char* bytes, std::size_t count) {
                hash.Update(bytes, count);
                done += static_cast<long long>(count);
                if (options.progress)
                    options.progress(done, total);
            },
            why);
        if (!read)
            r.missing.push_back(line.path + " (" + why + ")");
        else if (hash.HexFinal() != line.hex)
            r.changed.push_back(line.path);
    }
    const std::set<std::string> older = OlderImageFiles(image, files);
    std::map<std::string, int> uncovered;
    std::size_t olderCount = 0;
    for (const auto& [path, entry] : files) {
        if (listed.count(path) || IsManifestFile(path))
            continue;
        const std::string top = TopFolder(path);
        if (older.count(path))
            ++olderCount;
        else if (!top.empty() && !coveredFolders.count(top))
            uncovered[top]++;
        else
            r.unlisted.push_back(path);
    }
    if (olderCount)
        r.notes.push_back(std::to_string(olderCount) +
                          " files belong to older images, whose manifests are kept beside this "
                          "one; not checked");
    for (const auto& [folder, n] : uncovered)
        r.notes.push_back(folder + "/ (" + std::to_string(n) +
                          " files) is not covered by this manifest: another image's, not checked");
    if (options.deep)
        for (const auto& line : manifest.lines)
            if (const std::string problem = CheckMinuteIndex(image, files, line.path);
                !problem.empty())
                r.damaged.push_back(line.path + ": " + problem);
    return r;
}

}  // namespace integrity
