// quillon-cli backup: the schedule into a folder, with progress, and what to do when it failed.
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "CliCommands.h"
#include "CliDisc.h"
#include "Printable.h"
#include "backup/disc/DiscBurn.h"
#include "backup/disc/WriterErrors.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassRun.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/MachineName.h"
#include "platform/Signals.h"
#include "platform/TimeZone.h"
#include "storage/RecorderPaths.h"
#ifdef QUILLON_HAVE_VIDEO
#include "video/EntryVideoMaker.h"
#endif

namespace {

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) {
    gInterrupted = true;
}

// Starts the pass as OK does; from then on Ctrl-C asks it to stop. Null when the start's checks
// refused (their text was shown).
std::unique_ptr<backup::PassRun> StartPass(backup::Session& session, const CliArgs& a,
                                           BackupWorker::OwnerThread owner = nullptr) {
    StartOptions options;
    options.includeViewer = a.viewer;
    options.mp4 = a.mp4;
    options.writeSpeedRow = 0;  // the fastest, as the writer's list offers it first
    ports::IEntryVideo* video = nullptr;
#ifdef QUILLON_HAVE_VIDEO
    // Lives as long as the program: a pass may still use it while the CLI winds down.
    static video::EntryVideoMaker maker("Quillon Backup " + platform::MachineName());
    video = &maker;
#endif
    std::unique_ptr<backup::PassRun> run = session.NewPass();
    if (owner)
        run->SetOwnerThread(std::move(owner));
    if (run->Start(options, video).refused())
        return nullptr;
    platform::OnStopSignal(OnInterrupt);
    return run;
}

// Ctrl-C stops the pass.
void StopOnInterrupt(backup::PassRun& run) {
    if (gInterrupted)
        run.Stop();
}

double SecondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
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

// What the pass needs to say afterwards of an entry, taken before the schedule is cleared.
using PlannedEntry = backup::ListedEntry;

std::vector<PlannedEntry> Plan(CliSession& s, DWORD& totalKB) {
    std::vector<PlannedEntry> plan;
    const backup::ScheduleListing listing = s.session.Schedule();
    totalKB = listing.totalKB;
    for (const backup::ListedEntry& e : listing.entries)
        if (e.slot >= 0) {
            NoteInfoProblem(e);
            plan.push_back(e);
        }
    return plan;
}

// The command that schedules an entry again, with the options of this session.
std::string AddAgainCommand(const CliArgs& a, const PlannedEntry& p) {
    const std::string start = StartKey(p.record), end = EndKey(p.record);
    std::string cmd = "quillon-cli";
    for (const auto& o : a.sessionOptions) {
        cmd += ' ';
        cmd += ShellQuoted(o);
    }
    char model[16];
    std::snprintf(model, sizeof model, "%X", static_cast<unsigned>(p.model));
    if (p.model != 0x670)
        cmd += std::string(" --model ") + model;
    std::string cams;
    for (int c = 0; c < kMaxCameras; ++c) {
        if (!p.record.bCam[c])
            continue;
        cams += cams.empty() ? "" : ",";
        cams += std::to_string(c + 1);
    }
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
// the exit status of the pass.
int ReportOutcome(const CliArgs& a, const std::vector<PlannedEntry>& plan,
                  const backup::PassOutcome& pass) {
    const BackupReport& report = pass.report;
    const bool cancelled = pass.stopped;
    for (const auto& p : plan) {
        const EntryOutcome outcome = report.Entry(p.slot);
        std::printf("  %s%s%s%s\n", p.label.c_str(), outcome.complete ? "" : "  (incomplete: ",
                    outcome.complete ? "" : Printable(outcome.why).c_str(),
                    outcome.complete ? "" : ")");
    }
    PrintManifest(pass);
    const auto failures = report.failures();
    for (const auto& f : failures)
        std::fprintf(stderr, "failed: %s\n", Printable(f).c_str());
    if (cancelled || !failures.empty()) {
        std::vector<const PlannedEntry*> incomplete, retry;
        for (const auto& p : plan) {
            const EntryOutcome outcome = report.Entry(p.slot);
            if (outcome.complete)
                continue;
            incomplete.push_back(&p);
            if (!outcome.recordingDamaged)
                retry.push_back(&p);
        }
        if (!incomplete.empty())
            std::fprintf(stderr,
                         "the incomplete entries stay in the schedule; 'quillon-cli backup' again "
                         "writes them\n");
        // For scripts that schedule elsewhere. An entry whose recording is damaged is left out:
        // another backup would copy the same.
        if (!retry.empty())
            std::fprintf(stderr, "to schedule the incomplete entries again:\n");
        for (const PlannedEntry* p : retry)
            std::fprintf(stderr, "  %s\n", AddAgainCommand(a, *p).c_str());
        for (const PlannedEntry* p : incomplete)
            if (report.Entry(p->slot).recordingDamaged)
                std::fprintf(stderr, "  %s\n", DamagedEntryNote(p->label).c_str());
    }
    if (cancelled) {
        std::fprintf(stderr, "the backup was stopped; the image is incomplete\n");
        return 130;
    }
    if (!failures.empty()) {
        std::fprintf(stderr, "the backup is incomplete: %zu failures\n", failures.size());
        return 1;
    }
    return 0;
}

// What the pass did, entry by entry, what failed, and how to schedule the rest again. The
// exit status: 0 when it all went, 130 when stopped, 1 otherwise.
int Report(const CliArgs& a, const std::string& where, const std::vector<PlannedEntry>& plan,
           DWORD planned, double seconds, const backup::PassOutcome& pass) {
    std::printf(
        "backup to %s: %zu entries, %u of %u KB planned, %u files copied, %u minutes "
        "rebuilt, %.1f s\n",
        where.c_str(), plan.size(), static_cast<unsigned>(pass.doneSize),
        static_cast<unsigned>(planned), static_cast<unsigned>(pass.report.filesCopied),
        static_cast<unsigned>(pass.report.minutesRebuilt), seconds);
    return ReportOutcome(a, plan, pass);
}

// The image built in C:\QuillonTemp as the window builds it, then written to the disc; the
// writer's events are served here as the window's loop serves them.
int DiscBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& pass) {
    DiscSession disc(s.session);
    if (!disc.Open(a.disc))
        return 1;
    DWORD planned = 0;
    const std::vector<PlannedEntry> plan = Plan(s, planned);
    const auto t0 = std::chrono::steady_clock::now();
    const std::unique_ptr<backup::PassRun> run = StartPass(
        s.session, a, [&disc](const std::function<void()>& call) { disc.RunBetweenEvents(call); });
    if (!run)
        return 1;
    bool aborted = false, interrupted = false;
    // Building, then writing: the worker hands the image over before it lets go of the first.
    while (run->Running() || disc.Writing()) {
        disc.Serve(100);
        StopOnInterrupt(*run);
        interrupted = interrupted || gInterrupted;
        // Also a write the worker started as the interrupt came.
        if (gInterrupted && disc.Writing() && !aborted) {
            aborted = true;
            s.session.StopDiscWrite();
        }
    }
    pass = run->Finish();
    // An interrupt during the write stops the backup as one during the build does.
    pass.stopped = pass.stopped || interrupted;
    while (disc.Busy())
        disc.Serve(100);
    disc.Serve(0);
    s.view.FinishProgress();
    const double seconds = SecondsSince(t0);
    // Only a completed write clears the schedule (of the entries it made whole); otherwise it
    // stays for another try.
    const bool written = disc.lastEnd == kWriterWriteCompleted;
    const int status = Report(a, std::string("disc ") + static_cast<char>(std::toupper(a.disc[0])),
                              plan, planned, seconds, pass);
    if (status != 0)
        return status;
    if (disc.lastEnd == kWriterError && disc.errorCode == kReadBackFailed) {
        std::fprintf(stderr,
                     "failed: the disc was written but does not read back as the image; "
                     "the schedule is kept\n");
        return 1;
    }
    if (disc.lastEnd == kWriterError) {
        std::fprintf(stderr, "failed: the disc write: %s (%s)\n",
                     GetWriterErrorText(disc.errorCode).c_str(), disc.errorDetail.c_str());
        return 1;
    }
    if (!written) {
        std::fprintf(stderr, "the disc was not written; the schedule is kept\n");
        return 1;
    }
    return 0;
}

// The schedule fetched entry by entry from the remote recorder into the folder; the worker is
// woken by the link's answers, served here.
int RemoteFolderBackup(CliSession& s, const CliArgs& a, const std::string& folder,
                       backup::PassOutcome& pass) {
    DWORD planned = 0;
    const std::vector<PlannedEntry> plan = Plan(s, planned);
    const auto t0 = std::chrono::steady_clock::now();
    const std::unique_ptr<backup::PassRun> run = StartPass(s.session, a);
    if (!run)
        return 1;
    run->ServeRemoteToEnd([&run] { StopOnInterrupt(*run); });
    pass = run->Finish();
    s.view.FinishProgress();
    const double seconds = SecondsSince(t0);
    const bool completed = pass.Fetched();
    std::printf("remote backup to %s: %zu entries, %.1f s\n", paths::ImageRoot(3, folder).c_str(),
                plan.size(), seconds);
    // Every entry fetched, but some lack what the remote recording lacks: told as after a
    // local pass.
    if (completed && !pass.report.ok())
        return ReportOutcome(a, plan, pass);
    PrintManifest(pass);
    if (completed)
        return 0;
    std::fprintf(stderr, "the remote backup is not complete%s%s\n",
                 pass.linkWhy.empty() ? "" : ": ", pass.linkWhy.c_str());
    // Only a completed remote backup clears the schedule.
    std::fprintf(stderr, "the schedule is kept: run the backup again to fetch it whole\n");
    return pass.stopped ? 130 : 1;
}

}  // namespace

namespace {

// The MP4 files of a remote recorder's minutes read its clock in its own zone, which it names
// with its day list, unless the operator gave one.
void UseRecorderZone(const RemoteLink& remote) {
    std::string problem, zone, why;
    remote.Days(problem, &zone);
    if (zone.empty())
        return;
    if (!platform::UseTimeZone(zone, why)) {
        std::fprintf(stderr,
                     "quillon-cli: the recorder names its time zone %s, which this machine does "
                     "not know (%s); its recorded times are read in this machine's zone\n",
                     Printable(zone).c_str(), why.c_str());
        return;
    }
    std::printf("recorded times are the recorder's clock in %s, as it says\n",
                Printable(zone).c_str());
}

}  // namespace

int CmdBackup(CliSession& s, const CliArgs& a) {
    backup::PassOutcome pass;
    return RunBackup(s, a, pass);
}

int RunBackup(CliSession& s, const CliArgs& a, backup::PassOutcome& pass) {
    backup::Session& session = s.session;
    if (!a.folder.empty() && !a.disc.empty())
        throw UsageError{"backup takes --folder or --disc, not both"};
    if (!a.disc.empty() && s.remote)
        throw UsageError{"a remote backup goes to a folder: give --folder"};
    if (a.viewer) {
        // Refused before anything is copied: an image without its viewer is not what was asked.
        const std::string problem = ViewerFilesProblem(session.Host());
        if (!problem.empty()) {
            std::fprintf(stderr, "quillon-cli: --viewer: %s; nothing was backed up\n",
                         problem.c_str());
            return 1;
        }
    }
    if (!a.disc.empty())
        return DiscBackup(s, a, pass);
    if (a.folder.empty())
        throw UsageError{"backup needs --folder DRIVE-PATH or --disc LETTER"};
    if (a.mp4 && s.remote && !a.timeZone)
        UseRecorderZone(*s.remote);
    const std::string folder = CommandLineFolder(a.folder);
    const std::string missing = MissingDriveText(folder);
    if (!missing.empty()) {
        std::fprintf(stderr, "quillon-cli: the target's %s\n", missing.c_str());
        return 1;
    }
    // The viewer goes to the root of the target's drive, which for Z: is the host's root.
    if (a.viewer && (folder[0] == 'Z' || folder[0] == 'z')) {
        std::fprintf(stderr,
                     "--viewer puts the viewer at the root of the target's drive; give the target "
                     "a drive of its own in %s/drives.ini\n",
                     platform::MachinePrefix().c_str());
        return 1;
    }
    // The start's checks, and the folder made once they pass, are the pass's own (StartPass).
    if (session.ChooseTarget(folder).refused())
        return 1;
    if (s.remote)
        return RemoteFolderBackup(s, a, folder, pass);
    DWORD planned = 0;
    const std::vector<PlannedEntry> plan = Plan(s, planned);

    const auto t0 = std::chrono::steady_clock::now();
    const std::unique_ptr<backup::PassRun> run = StartPass(session, a);
    if (!run)
        return 1;
    while (!s.view.WaitForPassEnd(100))
        StopOnInterrupt(*run);
    pass = run->Finish();
    s.view.FinishProgress();
    const double seconds = SecondsSince(t0);

    const int status = Report(a, paths::ImageRoot(3, folder), plan, planned, seconds, pass);
    if (status == 0)
        std::printf("%s\n", session.Text("BACKUP", "M010014").c_str());
    return status;
}

int CmdErase(CliSession& s, const CliArgs& a) {
    if (a.disc.empty())
        throw UsageError{"erase needs --disc LETTER"};
    DiscSession disc(s.session);
    if (!disc.Open(a.disc))
        return 1;
    // A refused erase never starts; a started one ends with event 11 or 21, which may come
    // after the writer is no longer busy.
    const bool started = s.session.EraseDisc();
    while (started && disc.lastEnd == 0)
        disc.Serve(100);
    if (disc.lastEnd == kWriterErased)
        return 0;
    if (disc.lastEnd == kWriterError)
        std::fprintf(stderr, "failed: %s (%s)\n", GetWriterErrorText(disc.errorCode).c_str(),
                     disc.errorDetail.c_str());
    return 1;
}
