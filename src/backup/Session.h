#pragma once
// The one object a front end holds: the operator's commands with typed
// arguments and results, what the session knows as values read at the moment they are asked
// for, and the companions it works with. What happened comes back as events (OperatorEvents.h).
// The parts the commands work on are the session's own: no front end reaches them.
//
// Threads: commands run on the front end's thread. A pass's end runs where the front end says
// (BackupWorker::SetOwnerThread): on its thread for one with an event loop (the window), on the
// worker for one that only waits while a pass runs (the CLI), in its turn among the link's
// answers for a remote pass (PassRun). A front end that lets it run on the worker gives no command
// while the pass runs but its stop.
#include <memory>
#include <string>

#include "app/CProfileReadWrite.h"
#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/TargetPicker.h"
#include "backup/WorkingFolderLock.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassRun.h"
#include "backup/remote/LinkInbox.h"
#include "backup/remote/RemoteRecorder.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleListing.h"
#include "ports/CDVDWriterPro2.h"
#include "ports/ExhibitPdf.h"

class BackupContext;
class BackupWorker;

namespace backup {

// How a recorder this session works with is set up when no host says it: where the language
// file and the base folder are, and the host's values a command line gives.
struct RecorderSetup {
    std::string dataFolder;  // the program's data, as a drive path ending in "\"
    std::string language;
    std::string baseFolder;
    int dateType = 0;
    int cameras = 64;
    int modelCode = 0x670;
    int recorderKind = 4;
};

// A day chosen: it holds recordings, holds none, the recorder did not answer in time, or the
// link said why it could not (why).
enum class DayAnswer { kRecorded, kEmpty, kNoAnswer, kTrouble };
struct LoadedDay {
    DayAnswer answer = DayAnswer::kEmpty;
    std::string why;
};
// An entry added: made, refused (the operator was told why), or a remote recorder that did not
// answer in time.
enum class AddAnswer { kAdded, kRefused, kNoAnswer };

class Session {
  public:
    Session(CQuillonApp& app, IOperatorEvents& events);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- What the session works with and where.
    // The remote recorder's port and the disc writer of this front end (either may be none);
    // they outlive the session. The port's answers come to Inbox().
    void UseCompanions(RemoteRecorder* client, CDVDWriterPro2* writer);
    // Before the session ends: the port no longer answers to it, and a fetch of its pass still
    // under way is cancelled, so that nothing writes into the image after it.
    void LetGoOfLink();
    // The base folder, as the recorder names it; "\" is added when it lacks one.
    void SetBaseFolder(const std::string& base);
    std::string BaseFolder() const;
    // The base taken: the profile on it, the start values (launch string, drives), the edit
    // font; no total yet.
    void OpenBase();
    // The schedule kept in the base folder, shown again.
    void RestoreSchedule();
    // Without a host: the recorder as setup says, and the profile and texts of its data folder.
    void SetUpRecorder(const RecorderSetup& setup);
    // Whether the working folder can be used, and why not.
    platform::Outcome CheckWorkingFolder() const;
    // For a program without a window: the base folder taken (see WorkingFolderLock), the
    // working folder checked, then the saved schedule loaded; or why not, with nothing held.
    // The session holds the locks until it ends.
    platform::Outcome TakeWorkingFolder(const WorkingFolderLock::Options& options);
    // A remote recorder at address:port through client, whose answers Inbox() keeps; the client
    // outlives its use here, until DropRemoteRecorder.
    void UseRemoteRecorder(const std::string& address, int port, RemoteRecorder* client);
    void DropRemoteRecorder();
    bool RemoteMode() const;
    // The disc writer (none: no disc), and its start; false, the operator told, when it fails.
    void UseDiscWriter(CDVDWriterPro2* writer);
    bool StartDiscWriter();
    // The same start, told to nobody: true when the writer started and has a writer drive (the
    // window tells A010001 itself, once it is up, without holding up its start).
    bool DiscWriterReady();

    // --- Values, as they are now.
    HostSettings Host() const;
    const CProfileReadWrite& Profile() const;
    ScheduleListing Schedule() const;
    // The day chosen (YYYYMMDD, and what follows it when the recorder sent more).
    std::string ChosenDay() const;
    bool PassRunning() const;
    bool DiscWriting() const;
    // The day chosen: which cameras, hours and minutes hold recordings.
    DaySelection Day() const;
    // The cameras (from 1) of the recorder's count that recorded in the range chosen.
    std::vector<int> CamerasInRange() const;
    // A text of the language file.
    std::string Text(const std::string& section, const std::string& key) const;

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

    // --- The same for a front end without an event loop: a remote recorder's answer is
    // served on the calling thread and waited for here.
    LoadedDay LoadDay(const std::string& day);
    void ChooseRange(const TimeFields& range);
    // Exactly these cameras (from 1) for the range chosen; none: every camera that recorded.
    CameraRefusal SelectCameras(const std::vector<int>& cameras);
    AddAnswer AddEntryAndWait(const TimeFields& range);

    // --- The schedule.
    CommandResult AddEntry(const TimeFields& range);
    CommandResult DeletePickedEntry();
    CommandResult PickEntry(int row);
    void MemoEdited(const std::string& text);
    CommandResult UpdateMemo();
    // The list again, as after a change of the date type its labels are in.
    void Relist();
    // The list row of a label as the list shows it, or of an entry string; -1 for none.
    int RowNamed(const std::string& name) const;
    CommandResult DeleteEntry(const std::string& name);
    CommandResult UpdateMemo(const std::string& name, const std::string& memo);
    // The case, exhibit and operator kept with the schedule; a pass takes each the options of
    // its start leave empty. False when the working folder cannot take them.
    exhibit::CaseDetails KeptCase() const;
    bool KeepCase(const exhibit::CaseDetails& details);

    // --- The target and the disc.
    CommandResult ChooseTarget(const std::string& drivePath,
                               WriterChoice choice = WriterChoice::kLastWriter);
    bool EraseDisc();
    void WriterReported(const WriterEvent& event);

    // --- Passes.
    // The worker that makes this session's passes.
    std::unique_ptr<BackupWorker> NewWorker();
    // A pass for a front end without a window to start, serve and read (see PassRun.h).
    std::unique_ptr<PassRun> NewPass();
    // What sets each image's exhibit report as REPORT.pdf from now on (null: report.json alone);
    // it must outlive every pass.
    void UseExhibitPdf(ports::IExhibitPdf* pdf);
    CommandResult StartPass(BackupWorker& worker, const StartOptions& options);
    // The Cancel command: stops what runs after the operator's yes, or answers kClose.
    CancelOutcome Cancel();
    // The disc being written is stopped, asking nobody (an interrupted front end without one).
    void StopDiscWrite();
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
    // What a killed run left behind removed, then the schedule kept in the base folder loaded.
    void LoadSavedSchedule();

    WorkingFolderLock working_;  // first: held until everything else of the session is gone
    std::unique_ptr<BackupContext> parts_;
};

}  // namespace backup
