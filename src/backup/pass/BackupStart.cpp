#include "backup/pass/BackupStart.h"

#include <cctype>
#include <cstdio>

#include "backup/HostMessages.h"
#include "backup/pass/PassPlanning.h"
#include "backup/pass/WriteGuard.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/KeptCase.h"
#include "backup/schedule/ScheduleCommands.h"
#include "integrity/ImageHasher.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"
#include "platform/FileSystem.h"
#include "platform/MessageBus.h"
#include "ports/CDVDWriterPro2.h"
#include "storage/RecorderPaths.h"

bool HasDiscSpace(backup::DiscDrive drive, DWORD totalKB) {
    if (!drive)
        return false;
    const double freeMB = drive.Medium().freeMB;
    double need = totalKB;
    if (need > 1024)
        need = static_cast<double>(totalKB / 1024);
    return need < freeMB;
}

bool HasFolderSpace(DWORD totalKB, const std::string& path) {
    std::uint64_t freeBytes = 0;
    if (!platform::GetDiskFreeSpaceExA(path, &freeBytes, nullptr, nullptr))
        return false;
    const std::uint64_t freeMB = freeBytes / 1048576;
    std::uint64_t need = totalKB;
    if (need > 1024)
        need /= 1024;
    return need < freeMB;
}

namespace {

// "%s" of a language text replaced by each value in turn (not printf: the text is the
// operator's to edit).
std::string FillIn(std::string text, const std::vector<std::string>& values) {
    std::size_t at = 0;
    for (const auto& v : values) {
        at = text.find("%s", at);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, v);
        at += v.size();
    }
    return text;
}

std::string Megabytes(double mb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", mb);
    return text;
}

// The free-space refusal: "%s[%s]" of M010028 and which (M010029 or M010030), then on a line
// of its own the place measured with the megabytes the schedule needs and those free there
// (freeMB < 0: not known).
backup::CommandResult RefuseSpace(backup::OperatorPrompts& prompts, DWORD kb, const char* which,
                                  const std::string& place, double freeMB) {
    auto text = [&](const std::string& key) { return prompts.Text("BACKUP", key); };
    // As the check counts it: a total of 1024 KB or less is taken as that many MB.
    const std::string needMB = Megabytes(kb > 1024 ? kb / 1024.0 : static_cast<double>(kb));
    const std::string figures = freeMB < 0 ? FillIn(text("Q010021"), {needMB})
                                           : FillIn(text("Q010020"), {needMB, Megabytes(freeMB)});
    return prompts.Refuse("M010028",
                          text("M010028") + "[" + text(which) + "]\n" + place + " - " + figures);
}

double FreeMBOf(const std::string& path) {
    std::uint64_t freeBytes = 0;
    if (!platform::GetDiskFreeSpaceExA(path, &freeBytes, nullptr, nullptr))
        return -1;
    return static_cast<double>(freeBytes) / 1048576.0;
}

}  // namespace

backup::CommandResult CheckBackupStart(backup::PassBusy busy, const backup::HostSettings& host,
                                       const backup::ScheduleState& schedule,
                                       const backup::TargetChoice& target,
                                       backup::OperatorPrompts& prompts, bool mp4) {
    auto text = [&](const std::string& key) { return prompts.Text("BACKUP", key); };
    if (backup::CommandResult refused = busy.Refuse(prompts); refused.refused())
        return refused;
    if (schedule.rows.empty())
        return prompts.Refuse("M010024");
    const DWORD needKB = mp4 ? (schedule.totalKB > 0x7fffffffu ? 0xffffffffu : schedule.totalKB * 2)
                             : schedule.totalKB;
    const std::string targetDrive = std::string(1, static_cast<char>('A' + target.drive)) + ":";
    switch (target.kind) {
        case backup::TargetKind::kFolder: {
            // The file system that will hold the files, which need not be the drive's own: a
            // folder below the drive's root may be another volume mounted there.
            if (!HasFolderSpace(needKB, target.text))
                return RefuseSpace(prompts, needKB, "M010030", target.text, FreeMBOf(target.text));
            // Never into the recordings, and never into the working folder the end clears.
            if (const platform::Outcome may = CheckWriteFolder(host, target.text, "", true); !may)
                return prompts.Refuse("Q010004", text("Q010004") + "\n" + may.error().Said());
            // A folder that is not there is made at the start; one that cannot be is refused
            // now, before anything starts.
            if (const platform::Outcome made = platform::CheckFolderCreation(target.text); !made)
                return prompts.Refuse(
                    "M010032", text("M010032") + "\n" + target.text + ": " + made.error().Said());
            break;
        }
        case backup::TargetKind::kDisc: {
            backup::DiscDrive drive = busy.disc.drive();
            const backup::DiscMedium medium = drive.Medium();
            // The disc's image is made in its own folder first, wherever that folder's volume is.
            const std::string imageFolder = std::string(paths::kDiscImageRoot) + "\\";
            if (!HasFolderSpace(needKB, imageFolder))
                return RefuseSpace(prompts, needKB, "M010029", paths::kDiscImageRoot,
                                   FreeMBOf(imageFolder));
            if (!HasDiscSpace(drive, needKB))
                return RefuseSpace(prompts, needKB, "M010030", targetDrive,
                                   drive ? medium.freeMB : -1);
            if (!medium.present)
                return prompts.Refuse("A010003", prompts.Text("CDWRITER", "A010003"));
            if (const platform::Outcome may = CheckWriteFolder(
                    host, std::string(paths::kDiscImageRoot) + "\\", paths::kDiscImageRoot, true);
                !may)
                return prompts.Refuse("Q010004", text("Q010004") + "\n" + may.error().Said());
            if (!medium.blank) {
                const char* second = medium.rewritable ? "A010018" : "A010017";
                return prompts.Refuse("A010016", prompts.Text("CDWRITER", "A010016") + "\n" +
                                                     prompts.Text("CDWRITER", second));
            }
            break;
        }
        default:
            return prompts.Refuse("M010027");
    }
    return {};
}

void StopRunningBackup(backup::RunState& run, const backup::HostSettings& host,
                       backup::LinkState& link) {
    run.running = 0;
    // A remote pass's fetch ends at once, not with its entry.
    if (!host.localMode && link.client && run.job)
        run.job->fetchCancel->Cancel();
}

bool CancelRunningBackup(backup::RunState& run, const backup::HostSettings& host,
                         backup::LinkState& link, backup::OperatorPrompts& prompts) {
    if (!run.running)
        return false;
    const std::string question =
        prompts.Text("BACKUP", "M010038") + "\n" + prompts.Text("BACKUP", "M010026");
    // The pass goes on while the question is open; a yes that comes once it ended is withdrawn
    // with it, and stops neither nothing nor the next pass.
    return prompts
        .Ask(question, backup::QuestionAbout::kPass,
             [&run, &host, &link](bool yes) {
                 if (!yes || !run.running)
                     return backup::CommandResult::Refused("M010038");
                 StopRunningBackup(run, host, link);
                 return backup::CommandResult();
             })
        .done();
}

CancelOutcome OnCancel(backup::DiscState& disc, backup::RunState& run,
                       const backup::HostSettings& host, backup::LinkState& link,
                       backup::OperatorPrompts& prompts) {
    if (disc.writing) {
        const std::string question =
            prompts.Text("CDWRITER", "A010022") + "\n" + prompts.Text("CDWRITER", "A010023");
        prompts.Ask(question, backup::QuestionAbout::kDiscWrite, [&disc, &prompts](bool yes) {
            if (!yes || !disc.writing)
                return backup::CommandResult::Refused("A010022");
            prompts.SetStatusText(prompts.Text("CDWRITER", "A010024"));
            disc.drive().Abort();
            return backup::CommandResult();
        });
        return CancelOutcome::kStaysOpen;
    }
    if (run.running) {
        CancelRunningBackup(run, host, link, prompts);
        return CancelOutcome::kStaysOpen;
    }
    if (host.localMode)
        NotifyHostClosing();
    return CancelOutcome::kClose;
}

bool NotifyHostClosing() {
    platform::BusMessage notice;
    notice.message = kMsgHostClosed;
    notice.wParam = 2;
    notice.lParam = 1;
    for (const char* host : {"DVR MAIN", "NVR MAIN"})
        if (platform::FindWindow(host))
            return platform::SendMessage(host, notice, 2000).has_value();
    return false;
}

std::string OnHistory(backup::PassBusy busy, const backup::TargetChoice& target,
                      backup::OperatorPrompts& prompts) {
    if (busy.Refuse(prompts).refused())
        return std::string();
    const std::string& folder = target.text;
    return (folder.empty() ? std::string() : folder.substr(0, 1)) + ":";
}

std::string BackupDataLabel(const std::string& folderName, int dateType) {
    if (dateType < 0 || dateType > 8)
        return folderName;
    auto replace = [](std::string s, const std::string& from, const std::string& to) {
        for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
            s.replace(at, from.size(), to);
        return s;
    };
    std::string label = replace(folderName, ".", ":");
    label = replace(label, "~", " ~ ");
    label = replace(label, "=", " - ");
    return replace(label, "_", dateType < 3 ? "-" : dateType < 6 ? "/" : ".");
}

namespace backup {

CommandResult PassStarter::OnOK(const StartOptions& options) {
    if (CommandResult refused =
            CheckBackupStart({run_, disc_}, host_, schedule_, target_, prompts_, options.mp4);
        refused.refused())
        return refused;
    // The folder browser offers folders that exist; a target named otherwise (the host's
    // message, a folder removed since) is made now that every check passed.
    if (target_.kind == TargetKind::kFolder && !platform::IsDirectory(target_.text) &&
        !platform::CreateDirectoryTree(target_.text))
        return prompts_.Refuse("M010032", prompts_.Text("BACKUP", "M010032") + "\n" + target_.text);
    run_.running = 1;
    if (target_.kind == TargetKind::kDisc) {
        targets_.PrepareDiscImage();
        // The "MAX" row carries 0: the writer then keeps its own speed.
        const int row = options.writeSpeedRow;
        if (row >= 0 && row < static_cast<int>(target_.writeSpeeds.size())) {
            const auto speed =
                static_cast<std::int16_t>(target_.writeSpeeds[static_cast<std::size_t>(row)].data);
            if (speed > 0)
                disc_.drive().SetSpeed(speed);
        }
    }
    chooser_.SetActivity(Activity::kPass, target_.IsDisc());
    run_.includeViewer = options.includeViewer ? 1 : 0;
    run_.mp4 = options.mp4;
    // What the operator gives now goes before what was kept with the schedule.
    run_.caseDetails = CaseGivenOverKept(options.caseDetails, LoadKeptCase(host_.basePath));
    view_.PassStarting();
    // A remote run is many passes: what went wrong is counted from its start, and every entry
    // is fetched, also one an earlier run that broke off had begun.
    run_.report.Reset();
    if (!host_.localMode)
        for (ScheduleEntry& e : schedule_.table)
            if (e.bUsed)
                e.bPending = 1;
    // From here on the pass reads its plan only.
    PassJob& job = run_.Begin(MakePassPlan(host_, target_, schedule_, run_, PassTextsOf(app_)),
                              events_, link_);
    if (!host_.localMode)
        job.linked = ConnectShareClient(host_, link_);
    return {};
}

}  // namespace backup
