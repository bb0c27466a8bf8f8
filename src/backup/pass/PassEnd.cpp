#include "backup/pass/PassEnd.h"

#include <cstring>

#include "backup/pass/BackupPackage.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ScheduleAfterPass.h"

namespace backup {

void PassEnd::Idle() {
    chooser_.SetActivity(Activity::kIdle, target_.IsDisc());
}

void PassEnd::SetIdle() {
    Idle();
    view_.MeterChanged(Meter::kNone);
}

void PassEnd::PassEnded(const PassEnding& ending) {
    prompts_.Withdraw(QuestionAbout::kPass);  // "stop the backup?" asks about nothing now
    run_.ending = ending;
    if (ending.source == PassEnding::Source::kRecorder)
        LocalPassEnded();
    else
        RemoteRunEnded(ending);
}

void PassEnd::LocalPassEnded() {
    run_.TakeResults();
    if (run_.job)
        for (int i = 0; i < kScheduleSlots; ++i)
            if (run_.job->made[static_cast<std::size_t>(i)])
                schedule_.table[static_cast<std::size_t>(i)].bMade = 1;
    if (target_.kind == TargetKind::kFolder)
        FinishFolderBackup();
    else
        burner_.HandOverDiscImage();
}

void PassEnd::ClearFinishedSchedule(bool madeWhole) {
    run_.running = 0;
    SetIdle();
    view_.StatusChanged("");
    // What the pass did not make whole stays in the schedule for the next one.
    editor_.ClearAfterPass(run_.report, madeWhole);
}

void PassEnd::FinishFolderBackup() {
    ClearFinishedSchedule(PassCompletedEveryEntry(schedule_, run_.report));
    ResetViewerOption(view_, run_);
    view_.PassEnded();
}

void PassEnd::TellRemoteRunEnded(const std::string& why) {
    run_.running = 0;
    run_.TakeResults();
    Idle();
    prompts_.SetStatusText("");
    view_.DiscKnown(false);
    view_.MeterChanged(Meter::kNone);
    view_.PassStatusEnded();
    prompts_.Tell(why.empty() ? Text("M010012") : Text("M010012") + "\n" + why);
}

void PassEnd::FinishRemoteFolderBackup() {
    run_.TakeResults();
    if (!run_.report.ok()) {
        // Every entry was fetched, but some lack what the remote recording lacks: as after a
        // local pass, those stay in the schedule and the operator is told what they lack.
        FinishFolderBackup();
        TellTotalSize(profile_, schedule_, view_);
        return;
    }
    ClearFinishedSchedule(true);
    TellTotalSize(profile_, schedule_, view_);
    ResetViewerOption(view_, run_);
    view_.PassStatusEnded();
    prompts_.Tell(
        Notice{Text("M010014"), prompts_.Text("BACKUP", "A010008"), Severity::kInfo, true});
}

void PassEnd::RemoteRunEnded(const PassEnding& ending) {
    switch (ending.link) {
        case PassEnding::Link::kNone:
            return;
        case PassEnding::Link::kNoLink:
            Idle();
            view_.MeterChanged(Meter::kDiscSpace);
            prompts_.SetStatusText(Text("M010012"));
            run_.running = 0;
            return;
        case PassEnding::Link::kLost:
            run_.report.Stopped();  // what was lost is in the report already
            TellRemoteRunEnded(ending.why);
            return;
        case PassEnding::Link::kStopped:
            TellRemoteRunEnded(ending.why);
            return;
        case PassEnding::Link::kFetched:
            if (target_.kind == TargetKind::kDisc) {
                run_.TakeResults();
                burner_.HandOverDiscImage();
            } else {
                FinishRemoteFolderBackup();
            }
            return;
    }
}

}  // namespace backup

void TellPassOutcome(backup::IOperatorEvents& view, backup::OperatorPrompts& prompts,
                     const backup::RunState& run, const backup::ScheduleState& schedule,
                     int dateType) {
    view.PassStatusEnded();
    const std::string outcome = PassOutcomeText(prompts, run.report, schedule, dateType);
    std::string text = outcome.empty() ? prompts.Text("BACKUP", "M010014") : outcome;
    if (!run.keyFingerprint.empty())
        text += "\n" + prompts.Text("BACKUP", "Q010012") + " " + run.keyFingerprint;
    prompts.Tell(text, outcome.empty() ? backup::Severity::kInfo : backup::Severity::kWarning);
}

std::string PassOutcomeText(const backup::OperatorPrompts& prompts, const BackupReport& report,
                            const backup::ScheduleState& schedule, int dateType) {
    const std::vector<PassFailure> failures = report.Failures();
    if (failures.empty() && !report.stopped())
        return std::string();
    std::string text = prompts.Text("BACKUP", failures.empty() ? "Q010007" : "Q010006");
    constexpr std::size_t kShown = 8;  // a notice, not a log: the rest is counted
    auto list = [&text](const std::vector<std::string>& lines) {
        for (std::size_t i = 0; i < lines.size() && i < kShown; ++i)
            text += "\n" + lines[i];
        if (lines.size() > kShown)
            text += "\n(" + std::to_string(lines.size() - kShown) + " more)";
    };
    // Every entry by its label, as the list shows it, never by its folder's name.
    std::vector<std::string> notCopied;
    for (const PassFailure& f : failures)
        notCopied.push_back(LabelledFailure(f, dateType));
    list(notCopied);
    // The entries the next backup can make whole, each with what it lacks; then those whose
    // recording is damaged, which stay too, but which another backup copies as they are.
    std::vector<std::string> retry, damaged;
    for (const KeptEntry& k : KeptEntries(schedule, dateType, report))
        (k.recordingDamaged ? damaged : retry).push_back(KeptEntryLine(k));
    if (!retry.empty()) {
        text += "\n\n" + prompts.Text("BACKUP", "Q010013");
        list(retry);
    }
    if (!damaged.empty()) {
        text += "\n";
        list(damaged);
    }
    return text;
}
