#pragma once
// The one object a front end with a person at it holds: the operator's commands with typed
// arguments and results, what the session knows as values read at the moment they are asked
// for, and the companions it works with. What happened comes back as events (OperatorEvents.h).
// The parts the commands work on are the session's own: no front end reaches them.
//
// Threads: commands run on the front end's thread, which is also the thread a pass's end and
// the link's answers are served on.
#include <memory>
#include <string>

#include "app/CProfileReadWrite.h"
#include "app/CQuillonApp.h"
#include "backup/BackupStart.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/LinkInbox.h"
#include "backup/OperatorEvents.h"
#include "backup/ScheduleListing.h"
#include "backup/TargetPicker.h"
#include "ports/CDVDWriterPro2.h"
#include "ports/CFileShareClient.h"

class BackupContext;
class BackupWorker;

namespace backup {

class Session {
  public:
    Session(CQuillonApp& app, IOperatorEvents& events);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- What the session works with and where.
    // The share client and the disc writer of this front end (either may be none); they
    // outlive the session.
    void UseCompanions(CFileShareClient* client, CDVDWriterPro2* writer);
    // From now on the share client's answers come to Inbox().
    void HearLink();
    // Before the session ends: the client no longer answers to it, and a download of its pass
    // still under way is cancelled, so that nothing writes into the image after it.
    void LetGoOfLink();
    // The base folder, as the recorder names it; "\" is added when it lacks one.
    void SetBaseFolder(const std::string& base);
    std::string BaseFolder() const;
    // The base taken: the profile on it, the start values (launch string, drives), the edit
    // font; no total yet.
    void OpenBase();
    // The schedule kept in the base folder, shown again.
    void RestoreSchedule();

    // --- Values, as they are now.
    HostSettings Host() const;
    const CProfileReadWrite& Profile() const;
    ScheduleListing Schedule() const;
    // The day chosen (YYYYMMDD, and what follows it when the recorder sent more).
    std::string ChosenDay() const;
    bool PassRunning() const;
    bool DiscWriting() const;

    // --- The day, the time range and the cameras.
    void ResetChoices();
    bool SelectDayLabel(const std::string& label);
    void StartHourChosen(const TimeFields& range);
    void EndHourChosen(const TimeFields& range);
    void MinuteChosen(const TimeFields& range);
    // Camera 0-15 of the page shown toggled.
    void ToggleCamera(int onPage);
    void PreviousCameraPage();
    void NextCameraPage();
    void SelectAllCameras();

    // --- The schedule.
    CommandResult AddEntry(const TimeFields& range);
    CommandResult DeletePickedEntry();
    CommandResult PickEntry(int row);
    void MemoEdited(const std::string& text);
    CommandResult UpdateMemo();
    // The list again, as after a change of the date type its labels are in.
    void Relist();

    // --- The target and the disc.
    CommandResult ChooseTarget(const std::string& drivePath,
                               WriterChoice choice = WriterChoice::kLastWriter);
    bool EraseDisc();
    void WriterReported(const WriterEvent& event);

    // --- Passes.
    // The worker that makes this session's passes.
    std::unique_ptr<BackupWorker> NewWorker();
    CommandResult StartPass(BackupWorker& worker, const StartOptions& options);
    // The Cancel command: stops what runs after the operator's yes, or answers kClose.
    CancelOutcome Cancel();
    // The History command's checks; the target's drive, or "" when refused.
    std::string HistoryDrive();
    // The notice that ends a folder pass, once its end is drawn.
    void TellPassOutcome();

    // --- The host's messages.
    // A host record (the block as sent; empty: none came with the message).
    void HostRecord(const std::string& block);
    void DriveList(DWORD mask);
    void DownloadProgress(const std::string& record);

    // --- The link's answers, kept for the front end's thread to serve (see LinkInbox.h).
    LinkInbox& Inbox();

    // What the commands work on, for the tests that look inside; no front end uses it.
    BackupContext& Parts() { return *parts_; }

  private:
    std::unique_ptr<BackupContext> parts_;
};

}  // namespace backup
