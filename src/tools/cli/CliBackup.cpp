// quillon-cli backup: the schedule into a folder, from a remote recorder or onto a disc, with
// progress, and what to do when it failed.
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "CliCommands.h"
#include "app/UnitName.h"
#include "backup/disc/DiscBurn.h"
#include "backup/disc/WindowlessDisc.h"
#include "backup/disc/WriterErrors.h"
#include "backup/pass/BackupPackage.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/Signals.h"
#include "platform/TimeZone.h"
#include "storage/RecorderPaths.h"
#ifdef QUILLON_HAVE_DISC
#include "disc/BurnWriter.h"
#endif
#ifdef QUILLON_HAVE_VIDEO
#include "video/EntryVideoMaker.h"
#endif
#ifdef QUILLON_HAVE_REPORT
#include "report/CairoExhibitPdf.h"
#endif

namespace {

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) {
    gInterrupted = true;
}

// Ctrl-C stops the pass.
void StopOnInterrupt(backup::PassRun& run) {
    if (gInterrupted)
        run.Stop();
}

// A pass from this recorder or a remote one, run to its end here.
void ServeToEnd(backup::PassRun& run) {
    run.ServeToEnd(gInterrupted);
}

// What the pass needs to say afterwards of its entries, taken before the schedule is cleared,
// and how long it took.
struct Planned {
    std::vector<backup::ListedEntry> entries;
    DWORD totalKB = 0;
    double seconds = 0;
};

// Plans and starts the pass as OK does (owner: where the worker tells its end; from the start
// on Ctrl-C asks it to stop), serve runs it to its end, and what it left is handed over into
// pass once after (when given) has served what follows. False when the start's checks refused
// (their text was shown).
bool RunPass(CliSession& s, const CliArgs& a, Planned& p, backup::PassOutcome& pass,
             const std::function<void(backup::PassRun&)>& serve,
             const std::function<void()>& after = {}, BackupWorker::OwnerThread owner = nullptr) {
    const backup::ScheduleListing listing = s.session.Schedule();
    p.totalKB = listing.totalKB;
    for (const backup::ListedEntry& e : listing.entries)
        if (e.slot >= 0) {
            NoteInfoProblem(e);
            p.entries.push_back(e);
        }
    const auto t0 = std::chrono::steady_clock::now();
    StartOptions options;
    options.includeViewer = a.viewer;
    options.mp4 = a.mp4;
    options.writeSpeedRow = 0;  // the fastest, as the writer's list offers it first
    options.caseDetails = a.caseDetails;
    ports::IEntryVideo* video = nullptr;
#ifdef QUILLON_HAVE_VIDEO
    // Lives as long as the program: a pass may still use it while the CLI winds down.
    static video::EntryVideoMaker maker(app::UnitName());
    video = &maker;
#endif
#ifdef QUILLON_HAVE_REPORT
    // Lives as long as the program too; its fonts are let go at the end, after the last pass.
    static report::CairoExhibitPdf pdf;
    static const bool releaseAtExit = std::atexit(report::ReleaseFontCaches) == 0;
    (void)releaseAtExit;
    s.session.UseExhibitPdf(&pdf);
#endif
    const std::unique_ptr<backup::PassRun> run = s.session.NewPass();
    if (owner)
        run->SetOwnerThread(std::move(owner));
    if (run->Start(options, video).refused())
        return false;
    platform::OnStopSignal(OnInterrupt);
    serve(*run);
    pass = run->Finish();
    if (after)
        after();
    s.view.FinishProgress();
    p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return true;
}

std::string ShellQuoted(const std::string& s) {
    const bool plain = !s.empty() && s.find_first_not_of(
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn"
                                         "opqrstuvwxyz0123456789_,.:/=+-@%") == std::string::npos;
    if (plain)
        return s;
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The command that schedules an entry again, with the options of this session.
std::string AddAgainCommand(const CliArgs& a, const backup::ListedEntry& p) {
    const std::string start = StartKey(p.record), end = EndKey(p.record);
    std::string cmd = "quillon-cli";
    for (const auto& o : a.sessionOptions)
        cmd += " " + ShellQuoted(o);
    char model[16];
    std::snprintf(model, sizeof model, "%X", static_cast<unsigned>(p.model));
    if (p.model != 0x670)
        cmd += std::string(" --model ") + model;
    std::string cams;
    for (int c = 0; c < kMaxCameras; ++c)
        if (p.record.bCam[c])
            cams += (cams.empty() ? "" : ",") + std::to_string(c + 1);
    cmd += " add " + start.substr(0, 8) + " " + start.substr(8, 4) + " " + end.substr(8, 4) +
           " --cams " + (p.record.bAllCam ? std::string("all") : cams);
    if (!p.memo.empty())
        cmd += " --memo " + ShellQuoted(p.memo);
    return cmd;
}

// The image's manifest, and the key it was signed with: the fingerprint is what whoever
// receives the image compares the key on the medium with.
void PrintManifest(const backup::PassOutcome& pass) {
    if (!pass.manifestNote.empty())
        std::printf("%s\n", pass.manifestNote.c_str());
    if (!pass.keyFingerprint.empty())
        std::printf("signed with the key %s\n", pass.keyFingerprint.c_str());
}

// Each entry and how it ended, the manifest, what failed and how to schedule the rest again;
// the exit status of the pass: 0 when it all went, 130 when stopped, 1 otherwise.
int Report(const CliArgs& a, const Planned& p, const backup::PassOutcome& pass) {
    const BackupReport& report = pass.report;
    std::vector<const backup::ListedEntry*> incomplete, retry;
    for (const auto& e : p.entries) {
        const EntryOutcome outcome = report.Entry(e.slot);
        const std::string why =
            outcome.complete ? "" : "  (incomplete: " + Printable(outcome.why) + ")";
        std::printf("  %s%s\n", e.label.c_str(), why.c_str());
        if (!outcome.complete)
            incomplete.push_back(&e);
        if (!outcome.complete && !outcome.recordingDamaged)
            retry.push_back(&e);
    }
    PrintManifest(pass);
    const auto failures = report.failures();
    for (const auto& f : failures)
        std::fprintf(stderr, "failed: %s\n", Printable(f).c_str());
    if (pass.stopped || !failures.empty()) {
        if (!incomplete.empty())
            std::fprintf(stderr,
                         "the incomplete entries stay in the schedule; 'quillon-cli backup' again "
                         "writes them\n");
        // For scripts that schedule elsewhere. An entry whose recording is damaged is left out:
        // another backup would copy the same.
        if (!retry.empty())
            std::fprintf(stderr, "to schedule the incomplete entries again:\n");
        for (const backup::ListedEntry* e : retry)
            std::fprintf(stderr, "  %s\n", AddAgainCommand(a, *e).c_str());
        for (const backup::ListedEntry* e : incomplete)
            if (report.Entry(e->slot).recordingDamaged)
                std::fprintf(stderr, "  %s\n", DamagedEntryNote(e->label).c_str());
    }
    if (pass.stopped) {
        std::fprintf(stderr, "the backup was stopped; the image is incomplete\n");
        return 130;
    }
    if (!failures.empty()) {
        std::fprintf(stderr, "the backup is incomplete: %zu failures\n", failures.size());
        return 1;
    }
    return 0;
}

// The pass's line of a build from this recorder, then its report.
int ReportBuilt(const CliArgs& a, const std::string& where, const Planned& p,
                const backup::PassOutcome& pass) {
    std::printf(
        "backup to %s: %zu entries, %u of %u KB planned, %u files copied, %u minutes "
        "rebuilt, %.1f s\n",
        where.c_str(), p.entries.size(), static_cast<unsigned>(pass.doneSize),
        static_cast<unsigned>(p.totalKB), static_cast<unsigned>(pass.report.filesCopied),
        static_cast<unsigned>(pass.report.minutesRebuilt), p.seconds);
    return Report(a, p, pass);
}

// The image built in C:\QuillonTemp as the window builds it, then written to the disc; the
// writer's events are served here as the window's loop serves them.
int DiscBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& pass) {
    backup::WindowlessDisc disc(s.session, DiscWriter);
    const platform::Expected<backup::CommandResult> opened = disc.Open(a.disc);
    if (!opened || !opened->done())
        return opened ? 1 : Fail(opened.error().Said());
    Planned p;
    bool aborted = false, interrupted = false;
    const auto serve = [&](backup::PassRun& run) {
        // Building, then writing: the worker hands the image over before it lets go of the
        // first.
        while (run.Running() || disc.Writing()) {
            disc.Serve(100);
            StopOnInterrupt(run);
            interrupted = interrupted || gInterrupted;
            // Also a write the worker started as the interrupt came.
            if (gInterrupted && disc.Writing() && !aborted) {
                aborted = true;
                s.session.StopDiscWrite();
            }
        }
    };
    const auto drain = [&] {
        while (disc.Busy())
            disc.Serve(100);
        disc.Serve(0);
    };
    if (!RunPass(s, a, p, pass, serve, drain,
                 [&disc](const std::function<void()>& call) { disc.RunBetweenEvents(call); }))
        return 1;
    // An interrupt during the write stops the backup as one during the build does.
    pass.stopped = pass.stopped || interrupted;
    const int status =
        ReportBuilt(a, std::string("disc ") + static_cast<char>(std::toupper(a.disc[0])), p, pass);
    // Only a completed write clears the schedule (of the entries it made whole); otherwise it
    // stays for another try.
    using Kind = backup::DiscEvent::Kind;
    if (status != 0 || disc.End().kind == Kind::kWritten)
        return status;
    if (disc.End().kind == Kind::kFailed && disc.End().code == kReadBackFailed)
        std::fprintf(stderr,
                     "failed: the disc was written but does not read back as the image; "
                     "the schedule is kept\n");
    else if (disc.End().kind == Kind::kFailed)
        std::fprintf(stderr, "failed: the disc write: %s (%s)\n",
                     GetWriterErrorText(disc.End().code).c_str(), disc.End().detail.c_str());
    else
        std::fprintf(stderr, "the disc was not written; the schedule is kept\n");
    return 1;
}

// The schedule fetched entry by entry from the remote recorder into the folder; the core serves
// the link's answers, which wake the worker.
int RemoteFolderBackup(CliSession& s, const CliArgs& a, const std::string& folder,
                       backup::PassOutcome& pass) {
    Planned p;
    if (!RunPass(s, a, p, pass, ServeToEnd))
        return 1;
    std::printf("remote backup to %s: %zu entries, %.1f s\n", paths::ImageRoot(3, folder).c_str(),
                p.entries.size(), p.seconds);
    // Every entry fetched, but some lack what the remote recording lacks: told as after a
    // local pass.
    if (pass.Fetched() && !pass.report.ok())
        return Report(a, p, pass);
    PrintManifest(pass);
    if (pass.Fetched())
        return 0;
    std::fprintf(stderr, "the remote backup is not complete%s%s\n",
                 pass.linkWhy.empty() ? "" : ": ", pass.linkWhy.c_str());
    // Only a completed remote backup clears the schedule.
    std::fprintf(stderr, "the schedule is kept: run the backup again to fetch it whole\n");
    return pass.stopped ? 130 : 1;
}

// The MP4 files of a remote recorder's minutes read its clock in its own zone, which it names
// with its day list, unless the operator gave one.
void UseRecorderZone(const RemoteLink& remote) {
    const platform::Expected<share::RecorderDays> asked = remote.Days();
    if (!asked || asked->zone.empty())
        return;
    const std::string& zone = asked->zone;
    if (const platform::Outcome used = platform::UseTimeZone(zone); !used) {
        Fail("the recorder names its time zone " + Printable(zone) +
             ", which this machine does not know (" + used.error().Said() +
             "); its recorded times are read in this machine's zone");
        return;
    }
    std::printf("recorded times are the recorder's clock in %s, as it says\n",
                Printable(zone).c_str());
}

}  // namespace

// This build's disc writer, its events served on the main thread between waits.
backup::WindowlessDisc::Writer DiscWriter([[maybe_unused]] backup::WindowlessDisc::Poster post) {
#ifdef QUILLON_HAVE_DISC
    auto writer = std::make_unique<disc::BurnWriter>(std::move(post));
    const disc::BurnWriter* burn = writer.get();
    return {std::move(writer), [burn] { return burn->busy(); }};
#else
    return {};
#endif
}

int CmdBackup(CliSession& s, const CliArgs& a) {
    backup::PassOutcome pass;
    return RunBackup(s, a, pass);
}

int RunBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& pass) {
    if (!a.folder.empty() && !a.disc.empty())
        throw UsageError{"backup takes --folder or --disc, not both"};
    if (!a.disc.empty() && s.remote)
        throw UsageError{"a remote backup goes to a folder: give --folder"};
    // Refused before anything is copied: an image without its viewer is not what was asked.
    if (const platform::Outcome viewer =
            a.viewer ? CheckViewerFiles(s.session.Host()) : platform::Succeeded();
        !viewer)
        return Fail("--viewer: " + viewer.error().Said() + "; nothing was backed up");
    if (!a.disc.empty())
        return DiscBackup(s, a, pass);
    if (a.folder.empty())
        throw UsageError{"backup needs --folder DRIVE-PATH or --disc LETTER"};
    if (a.mp4 && s.remote && !a.timeZone)
        UseRecorderZone(*s.remote);
    const std::string folder = CommandLineFolder(a.folder);
    if (const std::string missing = platform::MissingDriveText(folder); !missing.empty())
        return Fail("the target's " + missing);
    // The viewer goes to the root of the target's drive, which for Z: is the host's root.
    if (a.viewer && (folder[0] == 'Z' || folder[0] == 'z')) {
        std::fprintf(stderr,
                     "--viewer puts the viewer at the root of the target's drive; give the target "
                     "a drive of its own in %s/drives.ini\n",
                     platform::MachinePrefix().c_str());
        return 1;
    }
    // The start's checks, and the folder made once they pass, are the pass's own (RunPass).
    if (s.session.ChooseTarget(folder).refused())
        return 1;
    if (s.remote)
        return RemoteFolderBackup(s, a, folder, pass);
    Planned p;
    if (!RunPass(s, a, p, pass, ServeToEnd))
        return 1;
    const int status = ReportBuilt(a, paths::ImageRoot(3, folder), p, pass);
    if (status == 0)
        std::printf("%s\n", s.session.Text("BACKUP", "M010014").c_str());
    return status;
}

int CmdErase(CliSession& s, const CliArgs& a) {
    if (a.disc.empty())
        throw UsageError{"erase needs --disc LETTER"};
    backup::WindowlessDisc disc(s.session, DiscWriter);
    const platform::Expected<backup::CommandResult> opened = disc.Open(a.disc);
    if (!opened || !opened->done())
        return opened ? 1 : Fail(opened.error().Said());
    // A refused erase never starts; a started one ends erased or failed, which may come after
    // the writer is no longer busy.
    using Kind = backup::DiscEvent::Kind;
    const bool started = s.session.EraseDisc();
    while (started && disc.End().kind == Kind::kOther)
        disc.Serve(100);
    if (disc.End().kind == Kind::kErased)
        return 0;
    if (disc.End().kind == Kind::kFailed)
        std::fprintf(stderr, "failed: %s (%s)\n", GetWriterErrorText(disc.End().code).c_str(),
                     disc.End().detail.c_str());
    return 1;
}
