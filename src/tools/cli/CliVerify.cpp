// quillon-cli verify: an image checked against its manifest, with the tools of the core; a
// disc is read through its file system.
#include <cstdio>
#include <memory>
#include <vector>

#include "CliCommands.h"
#include "ImageCopyOut.h"
#include "ImageSource.h"
#include "Printable.h"
#include "integrity/ExportSigning.h"
#include "integrity/Signing.h"
#include "integrity/Verify.h"
#include "mp4/ExportVerifier.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/MachineName.h"

namespace {

std::string ReadKeyFile(const std::string& path) {
    const std::string host = CommandHostPath(path);
    std::string text;
    platform::ReadWholeFile(host, text, 65536);
    return text;
}

bool EndsWithMp4(const std::string& name) {
    return name.size() > 4 && (name.compare(name.size() - 4, 4, ".mp4") == 0 ||
                               name.compare(name.size() - 4, 4, ".MP4") == 0);
}

// The MP4 files below a folder (host paths), in name order, through every subfolder.
void FindMp4(const std::string& folder, std::vector<std::string>& found, int depth = 0) {
    if (depth > 8)
        return;
    for (const platform::FindData& f : platform::FindFiles(folder + "/*")) {
        if (f.name == "." || f.name == "..")
            continue;
        if (f.isDirectory)
            FindMp4(folder + "/" + f.name, found, depth + 1);
        else if (EndsWithMp4(f.name))
            found.push_back(folder + "/" + f.name);
    }
}

// Each file's export boxes and signature; false when one fails.
bool CheckVideoFiles(const std::vector<std::string>& files, const std::string& root,
                     const std::string& trustedDer) {
    bool ok = true;
    for (const std::string& path : files) {
        const std::string name =
            path.compare(0, root.size() + 1, root + "/") == 0 ? path.substr(root.size() + 1) : path;
        const mp4::ExportCheck check =
            mp4::CheckExportFile(path, {trustedDer, !trustedDer.empty()});
        if (!check.ok()) {
            ok = false;
            std::printf("video %s: FAILS: %s\n", Printable(name).c_str(),
                        Printable(check.problem).c_str());
        } else if (check.isSigned) {
            std::printf(
                "video %s: signed by \"%s\" (%s)%s; signature: %llu bytes at offset "
                "%llu\n",
                Printable(name).c_str(),
                Printable(integrity::CertificateCommonName(check.certificateDer)).c_str(),
                integrity::CertificateFingerprint(check.certificateDer).c_str(),
                trustedDer.empty() ? ", by the certificate in the file" : "",
                static_cast<unsigned long long>(check.signatureLength),
                static_cast<unsigned long long>(check.signatureOffset));
        } else {
            std::printf("video %s: export boxes whole, not signed\n", Printable(name).c_str());
        }
    }
    return ok;
}

// A disc's MP4 files, each copied into a scratch folder of ours for the check (which reads a
// file at offsets) and deleted after it.
bool CheckDiscVideos(integrity::ImageFiles& image, const std::string& trustedDer) {
    std::vector<integrity::ImageFiles::Entry> listing, videos;
    std::string why;
    if (!image.List(listing, why))
        return false;  // the image's check said so already
    for (const auto& e : listing)
        if (e.regular && EndsWithMp4(e.path))
            videos.push_back(e);
    if (videos.empty())
        return true;
    const ScratchFolder copy("", "quillon-verify");
    const std::string& scratch = copy.path();
    if (scratch.empty()) {
        std::printf("the disc's %zu MP4 files are not checked: no folder for temporary files\n",
                    videos.size());
        return false;
    }
    bool ok = true;
    for (const auto& e : videos) {
        if (!CopyImageFilesOut(image, {e}, e.path, scratch, why)) {
            std::printf("video %s: FAILS: %s\n", Printable(e.path).c_str(), Printable(why).c_str());
            ok = false;
        } else {
            ok = CheckVideoFiles({scratch + "/" + e.path}, scratch, trustedDer) && ok;
        }
        // The copy's first folder goes, and only a name of the scratch folder's own: one that
        // climbs out ("..") was not copied, and would name the folder the scratch folder is in.
        if (integrity::SafeRelativePath(e.path))
            platform::DeleteTree(scratch + "/" + e.path.substr(0, e.path.find('/')));
    }
    return ok;
}

}  // namespace

int CmdVerify(const CliArgs& a, bool progress, bool partialWhole) {
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
    std::string trustedDer;
    if (!a.cert.empty()) {
        trustedDer = integrity::CertificateDer(ReadKeyFile(a.cert));
        if (trustedDer.empty()) {
            std::fprintf(stderr, "quillon-cli: %s is not a certificate\n", a.cert.c_str());
            return 1;
        }
    }
    // One MP4 file handed over alone: its own boxes and signature are all there is to check.
    if (a.disc.empty() && EndsWithMp4(a.positional[0]) &&
        !platform::IsDirectory(CommandHostPath(a.positional[0]))) {
        const std::string file = CommandHostPath(a.positional[0]);
        if (platform::FileLength(file) < 0) {
            std::fprintf(stderr, "quillon-cli: %s cannot be read\n", a.positional[0].c_str());
            return 1;
        }
        return CheckVideoFiles({file}, std::string(), trustedDer) ? 0 : 1;
    }
    std::string why;
    const std::unique_ptr<integrity::ImageFiles> image =
        OpenCommandImage(a.disc, a.disc.empty() ? a.positional[0] : std::string(), why);
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
    integrity::VerifyReport report = integrity::VerifyImage(*image, options);
    // Names and box types come from the image, which may be hostile: nothing of it reaches the
    // terminal as a control sequence.
    std::printf("image %s\n", Printable(report.where).c_str());
    for (const auto& line : report.Lines())
        std::printf("%s\n", Printable(line).c_str());
    bool videos = true;
    if (a.disc.empty()) {
        const std::string root = CommandHostPath(a.positional[0]);
        std::vector<std::string> files;
        FindMp4(root, files);
        videos = CheckVideoFiles(files, root, trustedDer);
    } else {
        videos = CheckDiscVideos(*image, trustedDer);
    }
    if (partialWhole)
        report.partial = false;  // said in its lines already
    return report.ok() && videos ? 0 : 1;
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
