// quillon-cli custody: an image's chain of custody shown, handed over, received and checked, and
// the "verified" event a passing verify adds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "CliCommands.h"
#include "integrity/CustodyLog.h"
#include "integrity/ExportSigning.h"
#include "integrity/Manifest.h"
#include "integrity/Signing.h"
#include "mp4/ImageVideos.h"
#include "mp4/ReceivingStamp.h"
#include "mp4/StampedVideos.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFolders.h"

namespace {

constexpr long long kLogLimit = 64LL << 20;

// The base folder's log (a host path), or "" when the base folder is not there.
std::string BaseLog(const CliOptions& options) {
    const std::string base = options.base.empty()
                                 ? platform::CurrentProgramFolders().base
                                 : platform::ResolvePath(CommandLineFolder(options.base));
    if (base.empty() || !platform::IsDirectory(base))
        return std::string();
    return base + "/" + integrity::kCustodyLogName;
}

// A log named by its image folder or base folder, or by its own path.
std::string LogOf(const std::string& named) {
    const std::string host = CommandHostPath(named);
    return platform::IsDirectory(host) ? host + "/" + integrity::kCustodyLogName : host;
}

platform::Expected<std::string> ReadLog(const std::string& path) {
    std::string log;
    if (platform::FileLength(path) < 0 || !platform::ReadWholeFile(path, log, kLogLimit))
        return platform::Error{platform::Error::Kind::kNotFound, "cannot be read", path};
    return log;
}

// The image folder a command names and the hash of its manifest.
struct NamedImage {
    std::string root;
    std::string manifest;
};
platform::Expected<NamedImage> ImageNamed(const CliArgs& a, const char* command) {
    if (a.positional.size() != 2)
        throw UsageError{std::string("custody ") + command + " takes one IMAGE folder"};
    const std::string root = CommandHostPath(a.positional[1]);
    if (!platform::IsDirectory(root))
        return platform::Error{platform::Error::Kind::kNotFound, "is not a folder", root};
    std::string manifest;
    const std::string path = root + "/" + integrity::kManifestName;
    if (!platform::ReadWholeFile(path, manifest, kLogLimit))
        return platform::Error{platform::Error::Kind::kNotFound,
                               "cannot be read: this folder is no image", path};
    return NamedImage{root, integrity::ManifestHash(manifest)};
}

// Nothing is appended to a log whose chain or signatures are broken: it is evidence as it is.
bool ChainBroken(const std::string& path) {
    std::string log;
    if (platform::FileLength(path) < 0)
        return false;
    if (!platform::ReadWholeFile(path, log, kLogLimit))
        return !Refuse(path + " cannot be read");
    const integrity::CustodyCheck check = integrity::CheckCustodyLog(log);
    if (check.problems.empty())
        return false;
    Fail(path + " is broken (" + Printable(check.problems.front()) +
         "): nothing is added to it; see quillon-cli custody verify");
    return true;
}

int Show(const CliArgs& a) {
    if (a.positional.size() != 2)
        throw UsageError{"custody show takes one IMAGE, BASE folder or LOG"};
    const platform::Expected<std::string> log = ReadLog(LogOf(a.positional[1]));
    if (!log)
        return Fail(log.error().Said());
    for (const integrity::CustodyLine& l : integrity::ReadCustodyLines(*log)) {
        if (l.event.empty()) {
            std::printf("%4lld  (cannot be read)\n", l.line);
            continue;
        }
        std::string text = l.time + "  " + l.event + "  by " + l.actor;
        if (!l.recipient.empty())
            text += "  to " + l.recipient;
        if (!l.organisation.empty())
            text += " (" + l.organisation + ")";
        if (!l.reason.empty())
            text += "  reason: " + l.reason;
        if (!l.note.empty())
            text += "  note: " + l.note;
        if (!l.manifest.empty())
            text += "  manifest " + l.manifest.substr(0, 16);
        if (l.event == integrity::kCustodySignature)
            text += "  over lines 1-" + std::to_string(l.covers) + ", key " +
                    integrity::Fingerprint("-----BEGIN PUBLIC KEY-----\n" + l.key +
                                           "\n-----END PUBLIC KEY-----\n");
        std::printf("%4lld  %s\n", l.line, Printable(text).c_str());
    }
    return 0;
}

int Handover(const CliArgs& a, const CliOptions& options) {
    if (a.to.empty() || a.org.empty() || a.reason.empty())
        throw UsageError{"custody handover takes IMAGE --to WHO --org ORG --reason WHY"};
    const platform::Expected<NamedImage> image = ImageNamed(a, "handover");
    if (!image)
        return Fail(image.error().Said());
    const std::string key = integrity::MachineSigningKey();
    if (key.empty())
        return Fail(
            "a hand-over is signed: make this machine's key first (quillon-cli key create)");
    const std::string copy = image->root + "/" + integrity::kCustodyLogName;
    const std::string base = BaseLog(options);
    if (ChainBroken(copy) || (!base.empty() && ChainBroken(base)))
        return 1;
    const platform::Outcome logged =
        integrity::LogImageEvent(image->root, true, base,
                                 {.event = integrity::CustodyEvent::kHandedOver,
                                  .actor = integrity::CustodyActor(),
                                  .manifest = image->manifest,
                                  .recipient = a.to,
                                  .organisation = a.org,
                                  .reason = a.reason});
    if (!logged)
        return Fail(logged.error().Said());
    std::printf("handed over to %s (%s): signed in %s%s%s\n", Printable(a.to).c_str(),
                Printable(a.org).c_str(), copy.c_str(), base.empty() ? "" : " and ", base.c_str());
    return 0;
}

// The manifests of the earlier images a folder keeps beside its own (SHA256SUMS-1, -2, ...), in
// the order they were made, each with its name.
std::vector<std::pair<std::string, std::string>> OlderManifests(const std::string& root) {
    std::vector<std::pair<int, std::string>> named;
    for (const platform::FindData& f : platform::FindFiles(root + "/SHA256SUMS-*"))
        if (const int n = integrity::OlderManifestNumber(f.name); n > 0 && !f.isDirectory)
            named.emplace_back(n, f.name);
    std::sort(named.begin(), named.end());
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [n, name] : named) {
        std::string text;
        if (platform::ReadWholeFile(root + "/" + name, text, kLogLimit))
            out.emplace_back(name, integrity::ManifestHash(text));
    }
    return out;
}

// The copy is gone (a disc shredded, a folder wiped): said in the base folder's log, and in the
// image's own while it is there to take it, for every image the folder holds (the earlier ones
// first: the last line names the manifest the folder holds now). Nothing is deleted here: the
// copy is named by its manifests, which must be read first.
int Destroyed(const CliArgs& a, const CliOptions& options) {
    if (a.reason.empty())
        throw UsageError{"custody destroyed takes IMAGE --reason WHY"};
    const platform::Expected<NamedImage> image = ImageNamed(a, "destroyed");
    if (!image)
        return Fail(image.error().Said());
    const std::string copy = image->root + "/" + integrity::kCustodyLogName;
    const std::string base = BaseLog(options);
    if (ChainBroken(copy) || (!base.empty() && ChainBroken(base)))
        return 1;
    const integrity::CustodyRecord destroyed{.event = integrity::CustodyEvent::kDestroyed,
                                             .actor = integrity::CustodyActor(),
                                             .manifest = image->manifest,
                                             .reason = a.reason};
    std::vector<integrity::CustodyRecord> records;
    for (const auto& [name, hash] : OlderManifests(image->root)) {
        records.push_back(destroyed);
        records.back().manifest = hash;
        records.back().note = "the earlier image of " + name;
    }
    records.push_back(destroyed);
    const std::string key = integrity::MachineSigningKey();
    platform::Outcome logged = platform::Succeeded();
    if (platform::FileLength(copy) >= 0 && platform::FolderWritable(image->root))
        logged = integrity::AppendCustodyFile(copy, records, key);
    if (const platform::Outcome inBase =
            base.empty() ? platform::Succeeded() : integrity::AppendCustodyFile(base, records, key);
        logged && !inBase)
        logged = inBase;
    if (!logged)
        return Fail(logged.error().Said());
    std::printf(
        "noted as destroyed, %zu image%s (reason: %s); the copy itself is yours to destroy "
        "now\n",
        records.size(), records.size() == 1 ? "" : "s", Printable(a.reason).c_str());
    return 0;
}

// The receiver's stamp on each MP4 file of the copy: with --stamp-key and --stamp-cert, else
// this machine's export key. What was done, for the receipt's note; failed counts the files
// that could not take it for a fault of theirs or of the disk.
std::string StampVideos(const CliArgs& a, const std::string& root, int& failed) {
    failed = 0;
    const std::vector<std::string> videos = mp4::FolderVideos(root);
    if (videos.empty())
        return std::string();
    if (a.stampKey.empty() != a.stampCert.empty())
        throw UsageError{"custody receive takes --stamp-key and --stamp-cert together"};
    platform::Expected<integrity::ExportKey> key = platform::Error{};
    const std::string machine = integrity::SigningKeyFolder();
    if (!a.stampKey.empty())
        key = integrity::LoadExportKeyFiles(CommandHostPath(a.stampKey),
                                            CommandHostPath(a.stampCert));
    else if (integrity::HasExportKey(machine))
        key = integrity::LoadExportKey(machine);
    else
        key = platform::Error{platform::Error::Kind::kNotFound,
                              "there is no RSA key to stamp them with (--stamp-key and "
                              "--stamp-cert, or this machine's: quillon-cli key create)",
                              ""};
    const std::string count =
        std::to_string(videos.size()) + (videos.size() == 1 ? " MP4 file" : " MP4 files");
    if (!key) {
        ++failed;
        Fail("the " + count + " of the copy are not stamped: " + key.error().text);
        return "its " + count + " not stamped";
    }
    int stamped = 0;
    for (const std::string& video : videos) {
        const platform::Expected<bool> done = mp4::StampExportFile(root + "/" + video, *key);
        if (done) {
            ++stamped;
            continue;
        }
        if (done.error().kind != platform::Error::Kind::kRefused)
            ++failed;
        Fail(Printable(video) + " is not stamped: " + Printable(done.error().text));
    }
    const std::string by = integrity::CertificateFingerprint(key->certificateDer);
    std::printf("stamped %d of the %s with %s\n", stamped, count.c_str(),
                Printable(mp4::SignerText(key->certificateDer)).c_str());
    return "stamped " + std::to_string(stamped) + " of its " + count + " with " + by;
}

int Receive(const CliArgs& a) {
    if (a.by.empty())
        throw UsageError{
            "custody receive takes IMAGE --by WHO [--key KEY] [--stamp-key RSA "
            "--stamp-cert CERT]"};
    const platform::Expected<NamedImage> image = ImageNamed(a, "receive");
    if (!image)
        return Fail(image.error().Said());
    std::string key;
    if (a.key.empty())
        key = integrity::MachineSigningKey();
    else if (!platform::ReadWholeFile(CommandHostPath(a.key), key, 65536))
        return Fail(a.key + " cannot be read");
    if (key.empty())
        return Fail(
            "a receipt is signed: give your private key with --key, or make this "
            "machine's (quillon-cli key create)");
    if (!integrity::Sign(key, std::string()))
        return Fail(a.key + " is not an Ed25519 private key");
    const std::string copy = image->root + "/" + integrity::kCustodyLogName;
    if (ChainBroken(copy))
        return 1;
    int failed = 0;
    const std::string note = StampVideos(a, image->root, failed);
    const platform::Outcome logged =
        integrity::AppendCustodyFile(copy,
                                     {{.event = integrity::CustodyEvent::kReceived,
                                       .actor = a.by,
                                       .manifest = image->manifest,
                                       .note = note}},
                                     key);
    if (!logged)
        return Fail(logged.error().Said());
    std::printf("received by %s: signed with %s in %s\n", Printable(a.by).c_str(),
                integrity::Fingerprint(integrity::PublicPemOf(key)).c_str(), copy.c_str());
    return failed == 0 ? 0 : 1;
}

int Verify(const CliArgs& a) {
    if (a.positional.size() != 2)
        throw UsageError{"custody verify takes one IMAGE folder or LOG"};
    const std::string host = CommandHostPath(a.positional[1]);
    const std::string path = LogOf(a.positional[1]);
    const platform::Expected<std::string> log = ReadLog(path);
    if (!log)
        return Fail(log.error().Said());
    integrity::CustodyCheck check = integrity::CheckCustodyLog(*log);
    // In an image, the log's last event must be about the manifest the image holds now.
    std::string manifest;
    if (platform::IsDirectory(host) &&
        platform::ReadWholeFile(host + "/" + integrity::kManifestName, manifest, kLogLimit)) {
        const std::string hash = integrity::ManifestHash(manifest);
        const std::vector<integrity::CustodyLine> lines = integrity::ReadCustodyLines(*log);
        for (auto l = lines.rbegin(); l != lines.rend(); ++l) {
            if (l->manifest.empty())
                continue;
            if (l->manifest != hash)
                check.problems.push_back("line " + std::to_string(l->line) +
                                         ": it names another manifest than the image's " +
                                         integrity::kManifestName + " (" + hash.substr(0, 16) +
                                         ")");
            break;
        }
    }
    std::printf("custody log %s\n", Printable(path).c_str());
    for (const std::string& s : check.signatures)
        std::printf("%s\n", Printable(s).c_str());
    for (const std::string& p : check.problems)
        std::printf("BROKEN: %s\n", Printable(p).c_str());
    if (!check.unsignedTail.empty())
        std::printf("NOT SIGNED: %s\n", Printable(check.unsignedTail).c_str());
    if (!check.ok()) {
        std::printf("FAILED: the chain of custody cannot be vouched for\n");
        return 1;
    }
    std::printf("INTACT: %lld lines, all signed\n", check.lines);
    return 0;
}

}  // namespace

int CmdCustody(const CliArgs& a, const CliOptions& options) {
    const std::string what = a.positional.empty() ? std::string() : a.positional[0];
    if (what == "show")
        return Show(a);
    if (what == "handover")
        return Handover(a, options);
    if (what == "receive")
        return Receive(a);
    if (what == "verify")
        return Verify(a);
    if (what == "destroyed")
        return Destroyed(a, options);
    throw UsageError{"custody takes show, handover, receive, verify or destroyed"};
}

int NoteImageEvent(const CliArgs& a, const CliOptions& options, integrity::CustodyEvent event,
                   const std::string& note) {
    const std::string unnoted = "done, but not noted in the custody log: ";
    std::string root;
    if (a.disc.empty()) {
        root = CommandHostPath(a.positional[0]);
        if (!platform::IsDirectory(root))
            return 0;  // a single video file: no image
    }
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> image =
        OpenCommandImage(a.disc, root);
    const platform::Expected<std::string> manifest =
        image ? (*image)->ReadWhole(integrity::kManifestName)
              : platform::Expected<std::string>(image.error());
    if (!manifest)
        return Fail(unnoted + manifest.error().Said());
    return NoteFolderEvent(root, *manifest, options, event, note);
}

int NoteFolderEvent(const std::string& hostRoot, const std::string& manifestText,
                    const CliOptions& options, integrity::CustodyEvent event,
                    const std::string& note) {
    const platform::Outcome logged =
        integrity::LogImageEvent(hostRoot, false, BaseLog(options),
                                 {.event = event,
                                  .actor = integrity::CustodyActor(),
                                  .manifest = integrity::ManifestHash(manifestText),
                                  .note = note});
    if (!logged)
        return Fail("done, but not noted in the custody log: " + logged.error().Said());
    return 0;
}
