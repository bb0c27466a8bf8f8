#include "integrity/Verify.h"

#include <algorithm>
#include <map>
#include <set>

#include "integrity/Manifest.h"
#include "integrity/MinuteIndexCheck.h"
#include "integrity/Sha256.h"
#include "integrity/Signing.h"

namespace integrity {
namespace {

// The signature of one manifest, checked with the trusted key or, without one, the key beside it.
struct SignatureCheck {
    SignatureState state = SignatureState::kUnsigned;
    std::string text;
    std::string fingerprint;  // of the key it was checked with
    std::string keyPem;       // that key, when the signature is good
};

// The manifest's companion file: "SHA256SUMS-2" with ".sig" is "SHA256SUMS-2.sig".
std::string Companion(const std::string& manifestName, const char* suffix) {
    return manifestName + suffix;
}

SignatureCheck CheckSignature(ImageFiles& image,
                              const std::map<std::string, ImageFiles::Entry>& files,
                              const std::string& manifestName, const std::string& manifest,
                              const std::string& trustedKeyPem) {
    SignatureCheck c;
    std::string signature, mediumKey;
    const std::string sigName = Companion(manifestName, ".sig");
    const std::string pubName = Companion(manifestName, ".pub");
    const bool trusted = !trustedKeyPem.empty();
    if (!files.count(sigName)) {
        c.state = trusted ? SignatureState::kNoTrustedMatch : SignatureState::kUnsigned;
        c.text = trusted ? manifestName +
                               " is not signed, so it cannot be checked against the "
                               "trusted key"
                         : manifestName + " is not signed";
        return c;
    }
    if (const auto read = image.ReadWhole(sigName, 4096); !read) {
        c.state = SignatureState::kUnreadable;
        c.text = read.error().Said();
        return c;
    } else {
        signature = *read;
    }
    if (files.count(pubName))
        if (const auto read = image.ReadWhole(pubName, 65536))
            mediumKey = *read;
    const std::string& key = trusted ? trustedKeyPem : mediumKey;
    if (key.empty()) {
        c.state = SignatureState::kUnreadable;
        c.text = manifestName + " is signed but " + pubName +
                 " is missing; give the signer's key with --key";
        return c;
    }
    c.fingerprint = Fingerprint(key);
    const platform::Outcome checked = integrity::CheckSignature(key, manifest, signature);
    if (checked) {
        c.state = SignatureState::kGood;
        c.keyPem = key;
        return c;
    }
    if (checked.error().kind != platform::Error::Kind::kDamaged) {
        c.state = SignatureState::kUnreadable;
        c.text = checked.error().text;
        return c;
    }
    if (trusted && !mediumKey.empty() &&
        integrity::CheckSignature(mediumKey, manifest, signature)) {
        c.state = SignatureState::kOtherKey;
        c.text = manifestName +
                 " is signed by another key than the trusted one: " + Fingerprint(mediumKey);
        return c;
    }
    c.state = SignatureState::kBad;
    c.text = "BAD signature: " + manifestName + " is not the one that was signed";
    return c;
}

// A manifest of the root, read and parsed.
struct RootManifest {
    std::string name;
    std::string text;
    Manifest parsed;
};

// The manifests that older images kept beside this one, the newest first (the kept names count
// up as images are added).
std::vector<RootManifest> OlderManifests(ImageFiles& image,
                                         const std::map<std::string, ImageFiles::Entry>& files,
                                         std::vector<std::string>& problems) {
    std::vector<std::pair<int, std::string>> names;
    for (const auto& [path, entry] : files)
        if (const int n = OlderManifestNumber(path); n > 0)
            names.emplace_back(n, path);
    std::sort(names.rbegin(), names.rend());
    std::vector<RootManifest> older;
    for (const auto& [n, name] : names) {
        RootManifest m{name, {}, {}};
        const platform::Expected<std::string> read = image.ReadWhole(name);
        if (read)
            m.text = *read;
        if (!read)
            problems.push_back(read.error().Said());
        else if (const std::string bad = ParseManifest(m.text, m.parsed); !bad.empty())
            problems.push_back(name + " cannot be read: " + bad);
        else
            older.push_back(std::move(m));
    }
    return older;
}

// Whether an older image's manifest may vouch for files: only under the same trust as the
// current one. "" when it may, else why not.
std::string WhyNotTrusted(const SignatureCheck& current, const SignatureCheck& older,
                          const std::string& name) {
    if (current.state == SignatureState::kGood) {
        if (older.state == SignatureState::kGood)
            return std::string();
        if (older.state == SignatureState::kUnsigned ||
            older.state == SignatureState::kNoTrustedMatch)
            return name + " is not signed, while " + kManifestName + " is";
        return older.text.empty() ? name + " is not signed by the same key" : older.text;
    }
    if (current.state == SignatureState::kUnsigned) {
        if (older.state == SignatureState::kUnsigned)
            return std::string();
        return name + " is signed while " + kManifestName +
               " is not: the signed manifest may have been replaced";
    }
    return name + " cannot count while " + kManifestName + "'s signature is not good";
}

}  // namespace

bool VerifyReport::ok() const {
    const bool signatureOk =
        signature == SignatureState::kGood || signature == SignatureState::kUnsigned;
    return manifestProblem.empty() && !partial && !cancelled && missing.empty() &&
           changed.empty() && unlisted.empty() && damaged.empty() && untrusted.empty() &&
           signatureOk;
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
    count(untrusted.size(),
          untrusted.size() == 1 ? "manifest not trusted" : "manifests not trusted");
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
        return "INCOMPLETE: the " + std::to_string(listed) + " files listed in " + Trusted() +
               " match, but the backup that made this image did not complete";
    const std::string stampedText =
        stamped.empty() ? std::string()
                        : " (" + std::to_string(stamped.size()) +
                              (stamped.size() == 1 ? " MP4 file" : " MP4 files") +
                              " as their exporter signed them, with a receiving stamp)";
    return "VERIFIED: all " + std::to_string(listed) + " files match " + Trusted() + stampedText +
           (signature == SignatureState::kGood
                ? ", signed by " + fingerprint +
                      (trustedKey ? " (the trusted key)" : " (the key on the medium)")
                : ", not signed");
}

std::string VerifyReport::Trusted() const {
    std::string names = kManifestName;
    for (std::size_t i = 0; i < trustedManifests.size(); ++i)
        names += (i + 1 == trustedManifests.size() ? " and " : ", ") + trustedManifests[i];
    return names;
}

std::vector<std::string> VerifyReport::Lines() const {
    std::vector<std::string> lines;
    if (partial)
        lines.push_back("partial image: " +
                        (partialWhy.empty() ? std::string("an older image kept beside it did not "
                                                          "complete")
                                            : partialWhy[0]));
    for (const auto& p : missing)
        lines.push_back("MISSING          " + p);
    for (const auto& p : changed)
        lines.push_back("CHANGED          " + p);
    for (const auto& p : stamped)
        lines.push_back("STAMPED          " + p);
    for (const auto& p : unlisted)
        lines.push_back("NOT IN MANIFEST  " + p);
    for (const auto& p : damaged)
        lines.push_back("DAMAGED          " + p);
    for (const auto& u : untrusted)
        lines.push_back("NOT TRUSTED      " + u);
    if (manifestProblem.empty())
        lines.push_back("signature: " + signatureText);
    lines.push_back(Verdict());
    return lines;
}

VerifyReport VerifyImage(ImageFiles& image, const VerifyOptions& options) {
    VerifyReport r;
    r.where = image.Where();
    const platform::Expected<std::vector<ImageFiles::Entry>> listing = image.List();
    if (!listing) {
        r.manifestProblem = "the image cannot be read: " + listing.error().text;
        return r;
    }
    std::map<std::string, ImageFiles::Entry> files;
    for (const auto& e : *listing)
        files[e.path] = e;
    std::string manifestText;
    if (!files.count(kManifestName)) {
        r.manifestProblem = std::string("there is no ") + kManifestName + " in " + r.where;
        return r;
    }
    if (const auto read = image.ReadWhole(kManifestName); !read) {
        r.manifestProblem = read.error().Said();
        return r;
    } else {
        manifestText = *read;
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
    if (manifest.lines.empty()) {
        // A manifest that vouches for nothing is no check of anything.
        r.manifestProblem = std::string(kManifestName) + " lists no file";
        return r;
    }
    r.partial = manifest.partial;
    if (r.partial)
        r.partialWhy = manifest.comments;
    const SignatureCheck current =
        CheckSignature(image, files, kManifestName, manifestText, options.trustedKeyPem);
    r.signature = current.state;
    r.fingerprint = current.fingerprint;
    r.trustedKey = !options.trustedKeyPem.empty();
    r.signatureText = current.state != SignatureState::kGood ? current.text
                      : options.trustedKeyPem.empty()
                          ? "good signature by the key on the medium " + current.fingerprint +
                                " (compare it with the fingerprint the backup printed, or check "
                                "with --key)"
                          : "good signature by the trusted key " + current.fingerprint;

    // The manifests that vouch for files: this image's, and older images' kept beside it under
    // the same trust. A file counts by the newest that lists it.
    std::vector<const RootManifest*> trusted;
    const RootManifest own{kManifestName, manifestText, manifest};
    trusted.push_back(&own);
    const std::vector<RootManifest> older = OlderManifests(image, files, r.untrusted);
    for (const auto& m : older) {
        const SignatureCheck check = CheckSignature(image, files, m.name, m.text, current.keyPem);
        if (const std::string whyNot = WhyNotTrusted(current, check, m.name); !whyNot.empty()) {
            r.untrusted.push_back(whyNot);
            continue;
        }
        trusted.push_back(&m);
        r.trustedManifests.push_back(m.name);
        r.partial = r.partial || m.parsed.partial;
    }
    std::map<std::string, const ManifestLine*> lineOf;
    // The custody log goes on after the manifest: no manifest can vouch for it, even one made
    // by hand of every file.
    for (const RootManifest* m : trusted)
        for (const auto& line : m->parsed.lines)
            if (line.path != kCustodyLogName)
                lineOf.emplace(line.path, &line);
    r.listed = lineOf.size();

    long long total = 0, done = 0;
    for (const auto& [path, line] : lineOf)
        if (auto it = files.find(path); it != files.end())
            total += it->second.size;
    for (const auto& [path, line] : lineOf) {
        if (options.cancelled && options.cancelled()) {
            r.cancelled = true;
            return r;
        }
        const auto it = files.find(path);
        if (!SafeRelativePath(path) || it == files.end() || !it->second.regular) {
            r.missing.push_back(path);
            continue;
        }
        Sha256 hash;
        const platform::Outcome read = image.Read(path, [&](const char* bytes, std::size_t count) {
            hash.Update(bytes, count);
            done += static_cast<long long>(count);
            if (options.progress)
                options.progress(done, total);
        });
        if (!read)
            r.missing.push_back(path + " (" + read.error().text + ")");
        else if (hash.HexFinal() != line->hex)
            r.changed.push_back(path);
    }
    // Whatever no trusted manifest lists is no part of what was signed or written; of the files
    // named like manifests only the manifests found and their own signatures and keys are not.
    std::set<std::string> manifestFiles{kCustodyLogName};  // written after, naming the manifest
    for (const std::string& name : {std::string(kManifestName)}) {
        manifestFiles.insert(name);
        manifestFiles.insert(Companion(name, ".sig"));
        manifestFiles.insert(Companion(name, ".pub"));
    }
    for (const auto& m : older) {
        manifestFiles.insert(m.name);
        manifestFiles.insert(Companion(m.name, ".sig"));
        manifestFiles.insert(Companion(m.name, ".pub"));
    }
    for (const auto& [path, entry] : files)
        if (!lineOf.count(path) && !manifestFiles.count(path))
            r.unlisted.push_back(path);
    if (options.deep)
        for (const auto& [path, line] : lineOf)
            if (const std::string problem = CheckMinuteIndex(image, files, path); !problem.empty())
                r.damaged.push_back(path + ": " + problem);
    return r;
}

}  // namespace integrity
