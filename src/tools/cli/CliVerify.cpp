// quillon-cli verify: an image checked against its manifest, with the tools of the core; a
// disc is read through its file system.
#include <cstdio>
#include <memory>

#include "CliCommands.h"
#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "integrity/Verify.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/MachineName.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/DiscImageFiles.h"
#endif

namespace {

bool IsDrivePath(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string ReadKeyFile(const std::string& path) {
    const std::string host = IsDrivePath(path) ? platform::ResolvePath(path) : path;
    std::string text;
    platform::ReadWholeFile(host, text, 65536);
    return text;
}

std::unique_ptr<integrity::ImageFiles> OpenImage(const CliArgs& a, std::string& why) {
    if (!a.disc.empty()) {
#ifdef QUILLON_HAVE_DISC
        return disc::OpenDiscImage(
            static_cast<char>(std::toupper(static_cast<unsigned char>(a.disc[0]))), why);
#else
        why = "this quillon-cli was built without disc support";
        return nullptr;
#endif
    }
    const std::string& path = a.positional[0];
    // A drive path resolves through the drive table; anything else is a folder of this machine.
    std::string host = IsDrivePath(path) ? platform::ResolvePath(path) : path;
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    if (host.empty() || !platform::IsDirectory(host)) {
        why = path + " is not a folder";
        return nullptr;
    }
    return integrity::OpenFolderImage(host);
}

}  // namespace

int CmdVerify(const CliArgs& a, bool progress) {
    if (a.disc.empty() == a.positional.empty() || a.positional.size() > 1)
        throw UsageError{"verify takes one PATH, or --disc LETTER"};
    integrity::VerifyOptions options;
    options.deep = a.deep;
    if (!a.key.empty()) {
        options.trustedKeyPem = ReadKeyFile(a.key);
        if (integrity::Fingerprint(options.trustedKeyPem).empty()) {
            std::fprintf(stderr, "quillon-cli: %s is not an Ed25519 public key\n", a.key.c_str());
            return 1;
        }
    }
    std::string why;
    const std::unique_ptr<integrity::ImageFiles> image = OpenImage(a, why);
    if (!image) {
        std::fprintf(stderr, "quillon-cli: %s\n", why.c_str());
        return 1;
    }
    int shown = -1;
    if (progress)
        options.progress = [&](long long done, long long total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (percent / 10 != shown / 10) {
                shown = percent;
                std::fprintf(stderr, "checking %s: %d%%\n", image->Where().c_str(), percent);
            }
        };
    const integrity::VerifyReport report = integrity::VerifyImage(*image, options);
    std::printf("image %s\n", report.where.c_str());
    for (const auto& line : report.Lines())
        std::printf("%s\n", line.c_str());
    return report.ok() ? 0 : 1;
}

int CmdKey(const CliArgs& a) {
    if (a.positional.size() != 1 || a.positional[0] != "create")
        throw UsageError{"key takes the word create"};
    const std::string folder = integrity::SigningKeyFolder();
    // The export key came later than the manifest's: a machine that has only the one gets the
    // other, and only a machine with both is refused.
    const bool hadExportKey = integrity::HasExportKey(folder);
    if (!hadExportKey && integrity::HasSigningKey(folder)) {
        std::printf("signing key kept: %s\n", integrity::PrivateKeyPath(folder).c_str());
    } else if (const std::string why = integrity::CreateSigningKey(folder); !why.empty()) {
        std::fprintf(stderr, "quillon-cli: %s\n", why.c_str());
        return 1;
    } else {
        const std::string publicPem = ReadKeyFile(integrity::PublicKeyPath(folder));
        std::printf(
            "signing key made: %s (readable by its owner only)\n"
            "public key: %s\nfingerprint: %s\n"
            "every backup's manifest is signed with it from now on\n",
            integrity::PrivateKeyPath(folder).c_str(), integrity::PublicKeyPath(folder).c_str(),
            integrity::Fingerprint(publicPem).c_str());
    }
    if (hadExportKey)
        return 0;
    const std::string host = platform::MachineName();
    const std::string unit =
        (host.empty() ? "Quillon Backup" : "Quillon Backup " + host).substr(0, 64);
    if (const std::string why = integrity::CreateExportKey(folder, unit); !why.empty()) {
        std::fprintf(stderr, "quillon-cli: %s\n", why.c_str());
        return 1;
    }
    integrity::ExportKey key;
    const std::string loaded = integrity::LoadExportKey(folder, key);
    std::printf("certificate for signed video exports: %s (RSA-3072, \"%s\", %s)\n",
                integrity::ExportCertificatePath(folder).c_str(), unit.c_str(),
                loaded.empty() ? integrity::CertificateFingerprint(key.certificateDer).c_str()
                               : loaded.c_str());
    return 0;
}
