// quillon-cli verify: an image checked against its manifest, with the tools of the core; a
// disc is read through its file system.
#include <cstdio>
#include <memory>
#include <vector>

#include "CliCommands.h"
#include "app/UnitName.h"
#include "integrity/ExportSigning.h"
#include "integrity/MachineKeys.h"
#include "integrity/Signing.h"
#include "integrity/Verify.h"
#include "mp4/ImageVideos.h"
#include "mp4/StampedVideos.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace {

std::string ReadKeyFile(const std::string& path) {
    const std::string host = CommandHostPath(path);
    std::string text;
    platform::ReadWholeFile(host, text, 65536);
    return text;
}

// Each file's export boxes and signature; false when one fails.
bool ShowVideoChecks(const std::vector<mp4::VideoCheck>& checks, const std::string& trustedDer) {
    bool ok = true;
    for (const mp4::VideoCheck& v : checks) {
        const mp4::ExportCheck& check = v.check;
        if (!check.ok()) {
            ok = false;
            std::printf("video %s: FAILS: %s\n", Printable(v.name).c_str(),
                        Printable(check.problem).c_str());
        } else if (check.isSigned) {
            const std::string stamp =
                check.Stamped()
                    ? "; receiving stamp by " +
                          mp4::SignerText(check.signatures.back().certificateDer) + ", good"
                    : "";
            // The last signature, which covers the whole file, is the one to check by hand.
            std::printf(
                "video %s: signed by %s%s; whole-file signature: %llu bytes at offset %llu%s\n",
                Printable(v.name).c_str(), Printable(mp4::SignerText(check.certificateDer)).c_str(),
                trustedDer.empty() ? ", by the certificate in the file" : "",
                static_cast<unsigned long long>(check.signatures.back().length),
                static_cast<unsigned long long>(check.signatures.back().offset),
                Printable(stamp).c_str());
        } else {
            std::printf("video %s: export boxes whole, not signed\n", Printable(v.name).c_str());
        }
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
        if (integrity::Fingerprint(options.trustedKeyPem).empty())
            return Fail(a.key + " is not an Ed25519 public key");
    }
    std::string trustedDer;
    if (!a.cert.empty()) {
        trustedDer = integrity::CertificateDer(ReadKeyFile(a.cert));
        if (trustedDer.empty())
            return Fail(a.cert + " is not a certificate");
    }
    // One MP4 file handed over alone: its own boxes and signature are all there is to check.
    if (a.disc.empty() && mp4::IsMp4Name(a.positional[0]) &&
        !platform::IsDirectory(CommandHostPath(a.positional[0]))) {
        const std::string file = CommandHostPath(a.positional[0]);
        if (platform::FileLength(file) < 0)
            return Fail(a.positional[0] + " cannot be read");
        const mp4::VideoCheck alone{file[0] == '/' ? file.substr(1) : file,
                                    mp4::CheckExportFile(file, {trustedDer, !trustedDer.empty()})};
        return ShowVideoChecks({alone}, trustedDer) ? 0 : 1;
    }
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened =
        OpenCommandImage(a.disc, a.disc.empty() ? a.positional[0] : std::string());
    if (!opened)
        return Fail(opened.error().Said());
    const std::unique_ptr<integrity::ImageFiles> image = std::move(*opened);
    int shown = -1;
    if (progress)
        options.progress = [&](long long done, long long total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (percent / 10 != shown / 10) {
                shown = percent;
                std::fprintf(stderr, "checking %s: %d%%\n", image->Where().c_str(), percent);
            }
        };
    integrity::VerifyReport report = CheckCommandImage(
        *image, a.disc.empty() ? CommandHostPath(a.positional[0]) : std::string(), options);
    // Names and box types come from the image, which may be hostile: nothing of it reaches the
    // terminal as a control sequence.
    std::printf("image %s\n", Printable(report.where).c_str());
    for (const auto& line : report.Lines())
        std::printf("%s\n", Printable(line).c_str());
    bool videos = true;
    if (a.disc.empty()) {
        videos = ShowVideoChecks(
            mp4::CheckFolderVideos(CommandHostPath(a.positional[0]), trustedDer), trustedDer);
    } else {
        std::vector<mp4::VideoCheck> checks;
        std::string problem;
        videos = mp4::CheckImageVideos(*image, trustedDer, checks, problem);
        if (!problem.empty())
            std::printf("%s\n", problem.c_str());
        videos = ShowVideoChecks(checks, trustedDer) && videos;
    }
    if (partialWhole)
        report.partial = false;  // said in its lines already
    return report.ok() && videos ? 0 : 1;
}

int CmdKey(const CliArgs& a) {
    if (a.positional.size() != 1 || a.positional[0] != "create")
        throw UsageError{"key takes the word create"};
    const std::string folder = integrity::SigningKeyFolder(), unit = app::UnitName();
    const integrity::MadeKeys made = integrity::CreateMachineKeys(folder, unit);
    using Step = integrity::MadeKeys::Step;
    if (made.manifestKey == Step::kKept)
        std::printf("signing key kept: %s\n", integrity::PrivateKeyPath(folder).c_str());
    if (made.manifestKey == Step::kMade)
        std::printf(
            "signing key made: %s (readable by its owner only)\n"
            "public key: %s\nfingerprint: %s\n"
            "every backup's manifest is signed with it from now on\n",
            integrity::PrivateKeyPath(folder).c_str(), integrity::PublicKeyPath(folder).c_str(),
            made.fingerprint.c_str());
    if (!made.problem.empty())
        return Fail(made.problem);
    if (made.exportKey == Step::kMade)
        std::printf("certificate for signed video exports: %s (RSA-3072, \"%s\", %s)\n",
                    integrity::ExportCertificatePath(folder).c_str(), unit.c_str(),
                    made.certificate.c_str());
    return 0;
}
