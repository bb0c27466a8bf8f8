#include "backup/disc/DiscBurn.h"

#include <cstdio>
#include <cstring>

#include "backup/PassBusy.h"
#include "backup/disc/DiscCustody.h"
#include "backup/disc/DiscReadBack.h"
#include "backup/disc/WriterErrors.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/PassEnd.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "backup/schedule/ScheduleCommands.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace backup {

std::string DiscBurner::Text(const char* key) const {
    return prompts_.Text("CDWRITER", key);
}

void DiscBurner::BackToIdle() {
    chooser_.SetActivity(Activity::kIdle, target_.IsDisc());
}

void DiscBurner::DiscSpaceBack() {
    view_.MeterChanged(Meter::kDiscSpace);
}

void DiscBurner::WriteEnded() {
    prompts_.Withdraw(QuestionAbout::kDiscWrite);  // "stop writing?" asks about nothing now
    disc_.writing = 0;
    disc_.readBack.reset();
    const std::string text = Text("A010010");
    prompts_.SetStatusText(text);
    prompts_.Tell(text);
    BackToIdle();
    DiscSpaceBack();
    prompts_.SetStatusText("");
}

void DiscBurner::WriteCompleted() {
    prompts_.Withdraw(QuestionAbout::kDiscWrite);  // "stop writing?" asks about nothing now
    DiscDrive drive = disc_.drive();
    // Event 13 comes after the read-back found the disc to be the image.
    std::string checked;
    if (disc_.readBack)
        checked = "\n" + prompts_.Text("BACKUP", "Q010011");
    if (!run_.keyFingerprint.empty())
        checked += "\n" + prompts_.Text("BACKUP", "Q010012") + " " + run_.keyFingerprint;
    if (const std::string why = LogDiscWritten(host_.basePath, disc_.readBack != nullptr,
                                               run_.caseDetails.operatorName);
        !why.empty())
        checked += "\n" + why;
    disc_.readBack.reset();
    storage::DeleteFolderTree(paths::kDiscImageRoot);
    // A schedule another program rewrote meanwhile keeps what it added.
    const bool whole =
        PassCompletedEveryEntry(schedule_, run_.report) && !editor_.ScheduleChangedUnderUs();
    if (whole) {
        storage::DeleteFolderTree(paths::WorkingFolder(host_.basePath));
        schedule_.rows.clear();
        view_.ScheduleListChanged(schedule_.rows);
        view_.TotalSizeChanged("");
    }
    const std::string text = Text("A010011");
    prompts_.SetStatusText(text);
    disc_.writing = 0;
    BackToIdle();
    if (whole)
        ClearReservedFolder(host_, schedule_);
    else
        editor_.ClearAfterPass(run_.report, false);  // what the disc lacks stays in the schedule
    DiscSpaceBack();
    targets_.TellDiscSpace(drive.Medium().present);
    editor_.FillScheduleList();
    std::memset(&schedule_.entryInfo, 0, sizeof schedule_.entryInfo);
    if (whole)
        schedule_.totalKB = 0;
    TellTotalSize(profile_, schedule_, view_);
    const std::string outcome = PassOutcomeText(prompts_, run_.report, schedule_, host_.dateType);
    prompts_.SetStatusText("");
    drive.Hold(false);
    ResetViewerOption(view_, run_);
    // A pass that missed files wrote what it had: the notice says what is missing.
    prompts_.Tell((outcome.empty() ? text : text + "\n" + outcome) + checked,
                  outcome.empty() ? Severity::kInfo : Severity::kWarning);
    drive.Hold(true);
}

void DiscBurner::WriterError(long code, const std::string& detail) {
    prompts_.Withdraw(QuestionAbout::kDiscWrite);  // "stop writing?" asks about nothing now
    BackToIdle();
    disc_.writing = 0;
    disc_.readBack.reset();
    if (code == kReadBackFailed) {
        // Written, but not what the image holds: the backup has not been made.
        prompts_.SetStatusText(prompts_.Text("BACKUP", "Q010010"));
        prompts_.Tell(prompts_.Text("BACKUP", "Q010010") + "\n" + detail, Severity::kError);
    } else {
        prompts_.Tell(GetWriterErrorText(code));
    }
    disc_.drive().Hold(false);
}

void DiscBurner::EraseCompleted() {
    DiscDrive drive = disc_.drive();
    const std::string text = Text("A010007");
    prompts_.SetStatusText(text);
    drive.Refresh();
    prompts_.SetStatusText("");
    targets_.TellDiscSpace(true);
    targets_.TellErasable();
    BackToIdle();
    drive.Hold(false);
    ResetViewerOption(view_, run_);
    prompts_.Tell(text);
    drive.Hold(true);
}

bool DiscBurner::InitDiscWriter() {
    if (disc_.drive().Start())
        return true;
    prompts_.Tell(Text("A010001"));
    return false;
}

void DiscBurner::HandOverDiscImage() {
    // A cancelled build hands nothing over: its image is not whole.
    if (run_.running) {
        disc_.drive().AddImageFolder(paths::kDiscImageRoot);
        StartDiscWrite();
        return;
    }
    BackToIdle();
    DiscSpaceBack();
    prompts_.SetStatusText("");
}

void DiscBurner::StartDiscWrite() {
    DiscDrive drive = disc_.drive();
    if (!drive.Medium().present) {
        prompts_.Tell(Text("A010019"));
        // The disc went between the start checks and the write: nothing will be written, and
        // the window must not stay in its running state waiting for it.
        run_.running = 0;
        BackToIdle();
        DiscSpaceBack();
        prompts_.SetStatusText("");
        return;
    }
    // The disc is read back against the image's manifest before the backup counts as done.
    disc_.readBack = MakeDiscReadBack();
    // Both before the write: its events may come at once.
    disc_.writing = 1;
    run_.running = 0;
    if (!drive.Write(disc_.readBack.get()))
        prompts_.Tell(Text("A010020"));
}

void DiscBurner::OnWriterEvent(const WriterEvent& writerEvent) {
    const DiscEvent e = ReadWriterEvent(writerEvent);
    using Kind = DiscEvent::Kind;
    switch (e.kind) {
        case Kind::kPreparing:
            prompts_.SetStatusText(Text("A010008"));
            break;
        case Kind::kWriting:
            prompts_.SetStatusText(Text("A010009"));
            break;
        case Kind::kClosingSession:
            prompts_.SetStatusText(Text("A010012"));
            break;
        case Kind::kLeadOut:
            prompts_.SetStatusText(Text("A010013"));
            break;
        case Kind::kVerifying:
            prompts_.SetStatusText(Text("A010014"));
            break;
        case Kind::kPercent: {
            char text[256];
            std::snprintf(text, sizeof text, "%s - %02d%%", Text("A010015").c_str(), e.percent);
            prompts_.SetStatusText(text);
            break;
        }
        case Kind::kProgress:
            if (e.total > 0)
                view_.ProgressMoved(static_cast<int>(e.done * 100 / e.total));
            break;
        case Kind::kWriteEnded:
            WriteEnded();
            break;
        case Kind::kWritten:
            WriteCompleted();
            break;
        case Kind::kFailed:
            WriterError(e.code, e.detail);
            break;
        case Kind::kErased:
            EraseCompleted();
            break;
        case Kind::kOther:  // nothing the window shows
            break;
    }
}

bool DiscBurner::OnErase() {
    if (PassBusy{run_, disc_}.Refuse(prompts_).refused())
        return false;
    const std::string question =
        prompts_.Text("BACKUP", "M010025") + "  " + prompts_.Text("BACKUP", "M010026");
    return prompts_
        .Ask(question, QuestionAbout::kNothing,
             [this](bool yes) {
                 if (!yes)
                     return CommandResult::Refused("M010025");
                 return Erase();
             })
        .done();
}

CommandResult DiscBurner::Erase() {
    // The answer may come late: a pass may have begun meanwhile.
    if (CommandResult busy = PassBusy{run_, disc_}.Refuse(prompts_); busy.refused())
        return busy;
    view_.ViewerOffered(false);
    DiscDrive drive = disc_.drive();
    const DiscMedium medium = drive.Medium();
    if (!medium.present) {
        prompts_.Tell(Text("A010003"));
        return CommandResult::Refused("A010003");
    }
    if (!medium.rewritable) {
        prompts_.Tell(Text("A010004"));
        return CommandResult::Refused("A010004");
    }
    if (!drive.Erasable()) {
        prompts_.Tell(Text("A010005"));
        return CommandResult::Refused("A010005");
    }
    chooser_.SetActivity(Activity::kDiscBusy, target_.IsDisc());
    if (drive.Erase())
        return {};
    drive.Hold(false);
    prompts_.Tell(Text("A010006"));
    BackToIdle();
    return CommandResult::Refused("A010006");
}

}  // namespace backup
