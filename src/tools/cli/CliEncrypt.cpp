// quillon-cli encrypt and decrypt: an image made fit to leave the site, as one file that only
// its recipients can open with the age tool and tar, and that file taken apart again. The image
// is checked before it goes, and after it comes back.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "backup/disc/WindowlessDisc.h"
#include "cli/CliCommands.h"
#include "disclosure/FileStreams.h"
#include "disclosure/MediumReadme.h"
#include "disclosure/TarExtract.h"
#include "disclosure/TarWriter.h"
#include "disclosure/age/AgeFile.h"
#include "disclosure/age/Keys.h"
#include "integrity/EntryStanding.h"
#include "integrity/ImageCopyOut.h"
#include "integrity/Manifest.h"
#include "integrity/Verify.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/NamedLock.h"
#include "platform/OwnerOnly.h"

namespace {

namespace age = disclosure::age;
using platform::Error;

constexpr std::size_t kKeyFileLimit = 1 << 20;
constexpr const char* kDecryptScratchStem = ".quillon-decrypt";
constexpr const char* kArchiveSuffix = ".tar.age";
constexpr const char* kMediumScratchStem = ".quillon-medium";

std::string LeafName(const std::string& hostPath) {
    const std::size_t slash = hostPath.find_last_of('/');
    return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

// A secret's file: its owner's alone, as age's own tools write them.
platform::Expected<std::string> SecretText(const std::string& file) {
    return platform::ReadSecretFile(CommandHostPath(file), platform::SecretFile::kOwnerOnly,
                                    kKeyFileLimit);
}

// The passphrase file's first line, without its line end.
platform::Expected<std::string> Passphrase(const std::string& file) {
    platform::Expected<std::string> text = SecretText(file);
    if (!text)
        return Error{text.error().kind, text.error().text, file};
    std::string line = text->substr(0, text->find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        return Error{Error::Kind::kRefused, "holds no passphrase on its first line", file};
    return line;
}

// scrypt's work factor for a new file: QUILLON_SCRYPT_LOG2N lowers it for tests.
platform::Expected<int> WorkFactor() {
    const char* given = std::getenv("QUILLON_SCRYPT_LOG2N");
    if (!given || !*given)
        return age::kDefaultLog2N;
    char* end = nullptr;
    const long v = std::strtol(given, &end, 10);
    if (*end || v < age::kLeastLog2N || v > age::kMostLog2N)
        return Error{Error::Kind::kRefused,
                     "QUILLON_SCRYPT_LOG2N must be from " + std::to_string(age::kLeastLog2N) +
                         " to " + std::to_string(age::kMostLog2N),
                     ""};
    return static_cast<int>(v);
}

platform::Expected<age::Recipients> RecipientsOf(const CliArgs& a) {
    age::Recipients to;
    if (!a.passphraseFile.empty()) {
        platform::Expected<std::string> pass = Passphrase(a.passphraseFile);
        if (!pass)
            return pass.error();
        platform::Expected<int> log2N = WorkFactor();
        if (!log2N)
            return log2N.error();
        to.passphrase = *pass;
        to.log2N = *log2N;
        return to;
    }
    for (const std::string& text : a.recipients) {
        platform::Expected<std::string> key = age::ParseRecipient(text);
        if (!key)
            return key.error();
        to.publicKeys.push_back(*key);
    }
    if (!a.toFile.empty()) {
        std::string text;
        if (!platform::ReadWholeFile(CommandHostPath(a.toFile), text, kKeyFileLimit))
            return Error{Error::Kind::kNotFound, "cannot be read", a.toFile};
        platform::Expected<std::vector<std::string>> keys = age::ParseRecipientsFile(text);
        if (!keys)
            return Error{keys.error().kind, keys.error().text, a.toFile};
        to.publicKeys.insert(to.publicKeys.end(), keys->begin(), keys->end());
    }
    return to;
}

// Who opens the archive, as its custody line names them: never the passphrase itself.
std::string OpenedBy(const age::Recipients& to) {
    if (to.passphrase)
        return "a passphrase";
    std::string named;
    for (const std::string& key : to.publicKeys)
        named += (named.empty() ? "" : ", ") + age::RecipientText(key);
    return named;
}

int NewIdentity(const std::string& file) {
    const std::string host = CommandHostPath(file);
    if (platform::FileExists(host) || platform::IsDirectory(host))
        return Fail(file + " exists: an identity file is never replaced");
    platform::Expected<age::NewIdentity> made = age::MakeIdentity();
    if (!made)
        return Fail(made.error().Said());
    if (!platform::WriteOwnerOnlyFile(host, made->fileText))
        return Fail(file + " cannot be written");
    std::printf("%s\n", made->recipient.c_str());
    return 0;
}

// The modification time of the image's manifest, for its folders in the archive.
std::int64_t ManifestTime(const std::string& hostFolder) {
    platform::File manifest;
    if (!manifest.OpenResolved(hostFolder + "/SHA256SUMS", platform::File::kReadNoLink))
        return 0;
    return manifest.Stamp().modifiedNs / 1000000000;
}

std::string SaidAbout(const std::string& file, const Error& e) {
    return e.path.empty() ? file + " " + e.text : file + ": " + e.Said();
}

// The archive as it was written: its size and SHA-256, for the README and the custody line.
struct Sealed {
    long long bytes = 0;
    std::string digest;
};

// The image folder (named so on the command line) as a tar archive encrypted to `to`, into
// target under a temporary name renamed when whole: "" and what was sealed, or why not.
std::string SealImage(const std::string& image, const std::string& named, const std::string& target,
                      const age::Recipients& to, bool progress, Sealed& sealed) {
    const std::string name = LeafName(image);
    disclosure::AtomicFileSink sink;
    if (platform::Outcome made = sink.Create(target); !made)
        return made.error().Said();
    platform::Expected<std::unique_ptr<age::Encryption>> encryption =
        age::Encryption::Start(sink, to);
    if (!encryption)
        return encryption.error().Said();
    disclosure::TarOptions tar;
    tar.folderTime = ManifestTime(image);
    std::uint64_t said = 0;
    if (progress)
        tar.progress = [&](std::uint64_t done) {
            if (done - said >= (std::uint64_t{256} << 20)) {
                said = done;
                std::fprintf(stderr, "encrypting %s: %llu MiB\n", name.c_str(),
                             static_cast<unsigned long long>(done >> 20));
            }
        };
    if (platform::Outcome archived =
            disclosure::WriteFolderAsTar(image, name, (*encryption)->Writer(), tar);
        !archived)
        return SaidAbout(named, archived.error()) + "; nothing written";
    if (platform::Outcome finished = (*encryption)->Finish(); !finished)
        return finished.error().Said();
    if (platform::Outcome committed = sink.Commit(); !committed)
        return committed.error().Said();
    sealed = {sink.written(), sink.digest()};
    return std::string();
}

// The viewer and this archive's section of the README beside it in out: false, each failure
// said, when not all of it was written.
bool WriteBeside(const std::string& out, const std::string& fileName, long long bytes,
                 const age::Recipients& to, const backup::HostSettings& viewer) {
    bool whole = WriteMediumViewer(viewer, out);
    // Read again: another image's section written meanwhile is kept.
    platform::Expected<std::string> readme = MediumReadme(out);
    if (readme)
        readme = disclosure::ReadmeWithImage(*readme, fileName, bytes, to);
    if (!readme || !platform::WriteTextAtomically(out + "/" + kMediumReadmeName, *readme, true))
        whole = Refuse(out + "/" + kMediumReadmeName + " cannot be written" +
                       (readme ? "" : ": " + readme.error().Said()));
    return whole;
}

}  // namespace

int CmdEncrypt(const CliArgs& a, const CliOptions& options) {
    if (!a.newIdentity.empty()) {
        if (!a.positional.empty() || !a.out.empty())
            throw UsageError{"encrypt --new-identity FILE takes nothing else"};
        return NewIdentity(a.newIdentity);
    }
    const bool toDisc = !a.disc.empty();
    if (a.positional.size() != 1 || a.out.empty() == !toDisc)
        throw UsageError{"encrypt takes one IMAGE folder and --out DIR or --disc LETTER"};
    const bool keys = !a.recipients.empty() || !a.toFile.empty();
    if (keys == !a.passphraseFile.empty())
        throw UsageError{
            "encrypt takes --to age1... or --to-file FILE (or both), or --passphrase-file FILE"};
    platform::Expected<age::Recipients> to = RecipientsOf(a);
    if (!to)
        return Fail(to.error().Said());
    const std::string& named = a.positional[0];
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened = OpenCommandImage("", named);
    if (!opened)
        return Fail(opened.error().Said());
    // What leaves the site is what its backup wrote, or said not to be.
    const integrity::VerifyReport check = CheckCommandImage(**opened, CommandHostPath(named));
    const bool checked = check.ok() || integrity::OnlyPartial(check);
    if (!checked) {
        Fail("the image " + named + " fails its check: " + check.Verdict());
        if (!a.force)
            return Fail("nothing encrypted (--force encrypts it anyway)");
    }
    // The custody line names the manifest the archive holds.
    const platform::Expected<std::string> manifest = (*opened)->ReadWhole(integrity::kManifestName);
    if (!manifest)
        return Fail(manifest.error().Said() + "; nothing encrypted");
    const std::string image = CommandHostPath(named);
    const std::string name = LeafName(image);
    // A disc's medium is made whole in a folder of its own, then written as it is.
    std::unique_ptr<integrity::ScratchFolder> staged;
    std::string out;
    platform::NamedLock::Attempt folderHeld;
    if (toDisc) {
        if (const platform::Expected<char> drive = backup::NamedDiscDrive(a.disc); !drive)
            return Fail(drive.error().Said() + "; nothing encrypted");
        staged = std::make_unique<integrity::ScratchFolder>("", kMediumScratchStem);
        out = staged->path();
        if (out.empty())
            return Fail("no folder to make the disc's files in can be made; nothing encrypted");
    } else {
        out = CommandHostPath(a.out);
        if (out.empty() || !platform::CreateDirectoryTree(out))
            return Fail("the folder " + a.out + " cannot be made");
        // Two encrypts into one folder would each write its README from what they read, one
        // section lost, and copy the viewer over each other: one at a time.
        folderHeld = platform::NamedLock::AcquireFolder(out, false);
        if (!folderHeld.lock)
            return Fail(folderHeld.outcome == platform::NamedLock::Outcome::kHeldByOther
                            ? "the folder " + a.out +
                                  " is being written by another encrypt; nothing encrypted (run "
                                  "it again when that one is done)"
                            : folderHeld.problem + "; nothing encrypted");
    }
    const std::string where = toDisc ? "the disc in " + a.disc : a.out;
    const std::string fileName = name + kArchiveSuffix;
    const std::string target = out + "/" + fileName;
    if (platform::FileExists(target) || platform::IsDirectory(target))
        return Fail(target + " exists: nothing replaced");
    // What goes beside the archive is checked before the archive is made: a medium whose
    // README or viewer cannot be written is refused while nothing is spent on it.
    const platform::Expected<backup::HostSettings> viewer = ViewerSource(options);
    if (!viewer)
        return Fail("the viewer for the medium: " + viewer.error().Said() + "; nothing encrypted");
    platform::Expected<std::string> readme = MediumReadme(out);
    if (readme)
        readme = disclosure::ReadmeWithImage(*readme, fileName, 0, *to);
    if (!readme)
        return Fail(out + "/" + kMediumReadmeName + ": " + readme.error().Said() +
                    "; nothing encrypted");
    Sealed sealed;
    if (const std::string why = SealImage(image, named, target, *to, options.progress, sealed);
        !why.empty())
        return Fail(why);
    std::printf("%s: %lld bytes, %s\n",
                toDisc ? (fileName + " for " + where).c_str() : target.c_str(), sealed.bytes,
                to->passphrase ? "opened by the passphrase"
                               : ("for " + std::to_string(to->publicKeys.size()) + " recipient" +
                                  (to->publicKeys.size() == 1 ? "" : "s"))
                                     .c_str());
    // The archive is whole and stays; what fails beside it is said, and fails the command.
    int status = WriteBeside(out, fileName, sealed.bytes, *to, *viewer) ? 0 : 1;
    // A disc that is not whole, or not the medium, takes nothing away: nothing to note.
    if (toDisc && status != 0)
        return Fail("nothing written to " + where);
    if (toDisc) {
        if (const std::string why = BurnMedium(a.disc, out, options.progress); !why.empty())
            return Fail(why + "; " + where + " holds no copy of the image");
        std::printf("%s written and read back: %s, README.txt and BackupViewer\n", where.c_str(),
                    fileName.c_str());
    }
    const std::string note = fileName + " into " + where + ", " + std::to_string(sealed.bytes) +
                             " bytes, SHA-256 " + sealed.digest + ", for " + OpenedBy(*to) +
                             (checked ? "" : "; from an image that failed its check");
    if (NoteFolderEvent(image, *manifest, options, integrity::CustodyEvent::kEncrypted, note) != 0)
        status = 1;
    return status;
}

int CmdDecrypt(const CliArgs& a, bool progress) {
    (void)progress;
    const bool fromDisc = !a.disc.empty();
    if ((fromDisc ? a.positional.size() > 1 : a.positional.size() != 1) || a.out.empty())
        throw UsageError{
            "decrypt takes one FILE.tar.age, or --disc LETTER [NAME.tar.age], and --out DIR"};
    if (a.identity.empty() == a.passphraseFile.empty())
        throw UsageError{"decrypt takes --identity KEYFILE or --passphrase-file FILE"};
    const std::string named = a.positional.empty() ? std::string() : a.positional[0];
    std::string file = fromDisc ? "the disc in " + a.disc : named;
    age::Unlock with;
    if (!a.identity.empty()) {
        platform::Expected<std::string> text = SecretText(a.identity);
        if (!text)
            return Fail(a.identity + " " + text.error().text);
        platform::Expected<std::vector<std::string>> secrets = age::ParseIdentityFile(*text);
        if (!secrets)
            return Fail(a.identity + " " + secrets.error().text);
        with.secrets = *secrets;
    } else {
        platform::Expected<std::string> pass = Passphrase(a.passphraseFile);
        if (!pass)
            return Fail(pass.error().Said());
        with.passphrase = *pass;
    }
    const std::string out = CommandHostPath(a.out);
    if (out.empty() || !platform::CreateDirectoryTree(out))
        return Fail("the folder " + a.out + " cannot be made");
    std::string hostFile = CommandHostPath(named);
    // A disc's file is read as a file: taken off it first, into a folder that goes with it.
    std::unique_ptr<integrity::ScratchFolder> copy;
    if (fromDisc) {
        copy = std::make_unique<integrity::ScratchFolder>(out, kDiscScratchStem);
        if (copy->path().empty())
            return Fail("no folder for the disc's file can be made in " + a.out);
        const platform::Expected<std::string> taken = CopyDiscArchive(a.disc, named, copy->path());
        if (!taken)
            return Fail(taken.error().Said() + "; nothing extracted");
        hostFile = *taken;
        file = LeafName(hostFile) + " of the disc in " + a.disc;
    }
    disclosure::FileSource source;
    if (platform::Outcome opened = source.Open(hostFile); !opened)
        return Fail(file + " " + opened.error().text);
    platform::Expected<std::unique_ptr<age::Decryption>> decryption =
        age::Decryption::Start(source, with);
    if (!decryption) {
        const Error& e = decryption.error();
        return Fail(e.text == age::kNoIdentityMatches || e.text == age::kPassphraseFails
                        ? e.text + " " + file
                        : SaidAbout(file, e));
    }
    // Nothing is in its place before the whole file authenticated: the archive is taken apart in
    // a hidden folder of its own, and its image folder moved out of it at the end.
    const std::string scratch = platform::MakeScratchFolder(out, kDecryptScratchStem);
    if (scratch.empty())
        return Fail("no folder to extract into can be made in " + a.out);
    disclosure::ExtractOptions options;
    options.topFound = [&](const std::string& top) -> platform::Outcome {
        if (platform::FileExists(out + "/" + top) || platform::IsDirectory(out + "/" + top))
            return Error{Error::Kind::kRefused, "exists: nothing replaced", a.out + "/" + top};
        return platform::Succeeded();
    };
    platform::Expected<std::string> top =
        disclosure::ExtractTar((*decryption)->Reader(), scratch, options);
    const std::string target = top ? out + "/" + *top : std::string();
    if (!top || !(*decryption)->Reader().ended() ||
        !platform::MoveFileNoReplace(scratch + "/" + *top, target)) {
        platform::DeleteTree(scratch);
        if (!top)
            return Fail(SaidAbout(file, top.error()) + "; nothing extracted");
        return Fail(target + " cannot be put in place (does it exist?); nothing extracted");
    }
    platform::DeleteTree(scratch);
    std::printf("%s: extracted into %s\n", file.c_str(), target.c_str());
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> image = OpenCommandImage("", target);
    if (!image)
        return Fail(image.error().Said());
    const integrity::VerifyReport check = CheckCommandImage(**image, target);
    for (const std::string& line : check.Lines())
        std::printf("%s\n", Printable(line).c_str());
    return check.ok() || integrity::OnlyPartial(check) ? 0 : 1;
}
