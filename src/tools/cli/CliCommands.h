#pragma once
// The commands of quillon-cli and what they share: the session the dialog's start-up makes
// without a window, the remote link it works with, and the images a command names. Each command
// answers the process's exit status: 0 when the whole job succeeded, 1 when it was refused or
// failed, 2 for a command line that cannot be understood, 130 when the operator stopped a backup.
#include <memory>
#include <string>
#include <vector>

#include "TerminalView.h"
#include "app/CQuillonApp.h"
#include "backup/Session.h"
#include "backup/disc/WindowlessDisc.h"
#include "backup/exhibit/ExhibitFacts.h"
#include "backup/remote/LinkOptions.h"
#include "integrity/CustodyLog.h"
#include "integrity/ImageFiles.h"
#include "integrity/Verify.h"
#include "platform/ProgramFolders.h"
#include "share/LinkSetup.h"

struct CliOptions {
    std::string base;  // base folder (drive or host path); "" for the program's own
    int dateType = 0;
    int cameras = 64;  // the dialog's own values until a host says otherwise
    int modelCode = 0x670;
    int recorderKind = 4;
    bool progress = true;
    bool wait = false;           // wait for another copy to finish instead of refusing
    backup::LinkOptions remote;  // --remote: the recordings of a recorder served by quillon-share
};

struct CliArgs {
    std::vector<std::string> positional;
    std::string cams, memo;  // --cams, --memo
    bool hasMemo = false;
    std::string folder, disc;  // --folder, --disc
    bool viewer = false, deep = false, mp4 = false, force = false;
    bool clear = false;  // case --clear
    std::string key;     // --key: a public key file to trust
    std::string cert;    // --cert: a certificate file to trust for the video files
    std::string out, entry;
    std::string redact;                // export --redact: the masks file of a redacted copy
    exhibit::CaseDetails caseDetails;  // --case, --exhibit, --operator
    std::string to, org, reason, by;   // custody: --to, --org, --reason, --by
    std::string stampKey, stampCert;   // custody receive: --stamp-key, --stamp-cert
    // encrypt and decrypt: every --to, --to-file, --passphrase-file, --identity, --new-identity
    std::vector<std::string> recipients;
    std::string toFile, passphraseFile, identity, newIdentity;
    bool timeZone = false;  // --time-zone was given (and made the process's zone)
    // The options that name the session, as given: repeated in the commands printed to add an
    // entry again.
    std::vector<std::string> sessionOptions;
};

// Thrown for a command line that cannot be understood; main prints it with the usage.
struct UsageError {
    std::string what;
};

// Says "quillon-cli: what" on stderr; the exit status of a refusal (1). Refuse says it for a
// step that answers whether it went (false).
int Fail(const std::string& what);
inline bool Refuse(const std::string& what) {
    return Fail(what) == 0;
}
// Text from files and recorders on the terminal: control characters (C1 ones too), direction
// overrides and other invisible characters shown as escapes ("\x1b", "\u202E"), and a byte that
// is no part of a character as "\xff", so that a memo or a name cannot move the cursor, ring the
// bell, restyle the terminal or reorder what is shown.
std::string Printable(const std::string& text);

class RemoteLink {
  public:
    // Puts session into remote mode with a client of this link, whose answers its inbox keeps.
    RemoteLink(backup::Session& session, const backup::LinkOptions& options);
    ~RemoteLink();
    // The recorded days, newest first, with the recorder's time zone.
    platform::Expected<share::RecorderDays> Days() const;

  private:
    backup::Session& session_;
    backup::LinkOptions options_;
    std::unique_ptr<backup::RemoteRecorder> client_;
};

class CliSession {
  public:
    explicit CliSession(const CliOptions& options);

    // Takes the "Backup" lock (unless machineWide is false: a base folder no other program
    // uses) and the base folder's, then loads the saved schedule. False, with the reason on
    // stderr, when another copy runs (or, with wait, after it ended) or the lock cannot be used.
    // An installed program's own base folder is readied first.
    bool OpenWorkingFolder(bool wait, bool machineWide = true);
    // "" when the tool's own files (the drive table, the registry, the language file) are
    // files or absent; else which is something else, so that nothing waits on a pipe or reads a
    // folder as a file.
    std::string OwnFilesProblem() const;

    CQuillonApp app;
    TerminalView view;
    backup::Session session{app, view};
    std::unique_ptr<RemoteLink> remote;  // set in remote mode

  private:
    platform::ProgramFolders folders_;
    bool ownBase_ = false;  // no --base: the program's own base folder
};

// A folder given on the command line as a drive path, with host paths turned into drive paths.
std::string CommandLineFolder(const std::string& text);
// A drive path ("E:\x") through the drive table, anything else as a path of this machine; no
// slash at its end.
std::string CommandHostPath(const std::string& path);
// The scratch folder of a disc's files that a command reads as files (export, report), hidden in
// the command's own output folder.
constexpr const char* kDiscScratchStem = ".quillon-disc";
// The image a command names: a folder (a drive path or a path of this machine) or, with
// --disc LETTER, the disc in that writer drive read through its file system; or why there is
// no such folder or no readable disc.
platform::Expected<std::unique_ptr<integrity::ImageFiles>> OpenCommandImage(
    const std::string& disc, const std::string& folder);
// The check of an image a command works on: against its manifest, and for a folder (its host
// path; "" for a disc) with its MP4 files that took a receiving stamp accepted as verify does.
integrity::VerifyReport CheckCommandImage(integrity::ImageFiles& image, const std::string& hostRoot,
                                          const integrity::VerifyOptions& options = {});

int CmdDays(CliSession& s, const CliArgs& a);
int CmdDay(CliSession& s, const CliArgs& a);
int CmdAdd(CliSession& s, const CliArgs& a);
int CmdList(CliSession& s, const CliArgs& a);
int CmdDelete(CliSession& s, const CliArgs& a);
int CmdMemo(CliSession& s, const CliArgs& a);
int CmdCase(CliSession& s, const CliArgs& a);
int CmdBackup(CliSession& s, const CliArgs& a);
// The backup, with what its pass left handed over in outcome (as it was when nothing ran).
int RunBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& outcome);
int CmdErase(CliSession& s, const CliArgs& a);
// This build's disc writer (none when it cannot write discs), its events posted to post.
backup::WindowlessDisc::Writer DiscWriter(backup::WindowlessDisc::Poster post);
// Without a session: an image checked against its manifest, and the signing key.
// partialWhole: a partial image whose listed files all check passes too (its manifest says
// what it lacks).
int CmdVerify(const CliArgs& a, bool progress, bool partialWhole = false);
// report IMAGE --out DIR [--case REF] [--exhibit ID] [--operator NAME]
int CmdReport(const CliArgs& a);
int CmdKey(const CliArgs& a);
// encrypt IMAGE --out DIR (--to age1... | --to-file FILE | --passphrase-file FILE), or
// encrypt --new-identity FILE; decrypt FILE.tar.age --out DIR (--identity FILE |
// --passphrase-file FILE) (CliEncrypt.cpp).
// encrypt notes an "encrypted" event of the image in its custody log and the base folder's.
int CmdEncrypt(const CliArgs& a, const CliOptions& options);
// With --disc, the FILE.tar.age at the root of the disc in that drive (its name given when
// the disc holds several).
int CmdDecrypt(const CliArgs& a, bool progress);
// The encrypted image name ("" for the only one) at the root of the disc in the drive disc,
// copied into scratchFolder: its host path, or why there is none to take (a disc of several
// without a name lists them).
platform::Expected<std::string> CopyDiscArchive(const std::string& disc, const std::string& name,
                                                const std::string& scratchFolder);
// What an encrypted medium carries beside its archives (CliMedium.cpp). The settings whose base
// folder holds the viewer's files (as a backup with the viewer takes them), or why they are not
// all there.
platform::Expected<backup::HostSettings> ViewerSource(const CliOptions& options);
constexpr const char* kMediumReadmeName = "README.txt";
// The README.txt of the medium's folder (a host path): "" when there is none.
platform::Expected<std::string> MediumReadme(const std::string& hostFolder);
// The viewer copied into hostFolder/BackupViewer; false, with each failure said, when not all
// of it was.
bool WriteMediumViewer(const backup::HostSettings& host, const std::string& hostFolder);
// The medium staged in hostFolder written to the disc in drive and read back: "" when it was,
// else why not.
std::string BurnMedium(const std::string& drive, const std::string& hostFolder, bool progress);
// The chain of custody of an image or a base folder (CliCustody.cpp); NoteImageEvent adds an
// event of the image a command named (verified, exported) to its log and the base folder's: 0,
// or 1 when it could not.
int CmdCustody(const CliArgs& a, const CliOptions& options);
int NoteImageEvent(const CliArgs& a, const CliOptions& options, integrity::CustodyEvent event,
                   const std::string& note = "");
// The same for the image folder at hostRoot whose manifest is manifestText.
int NoteFolderEvent(const std::string& hostRoot, const std::string& manifestText,
                    const CliOptions& options, integrity::CustodyEvent event,
                    const std::string& note);
// Only in quillon-cli-video, which has the encoder (export/); written: how many MP4 files it
// made, whatever it returns.
int CmdExport(const CliArgs& a, bool progress, int& written);
// One run of a recorder of the pull configurations, with its own session.
int CmdPull(const CliArgs& a, CliOptions options);

// Says on stderr that a listed entry's information file cannot be read, when it cannot.
void NoteInfoProblem(const backup::ListedEntry& entry);
