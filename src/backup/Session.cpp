#include "backup/Session.h"

#include <algorithm>

#include "backup/BackupContext.h"
#include "backup/DialogStart.h"
#include "backup/HostMessages.h"
#include "backup/pass/BackupWorker.h"
#include "backup/pass/PassEnd.h"
#include "backup/pass/WriteGuard.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/KeptCase.h"
#include "backup/schedule/ReservedFolder.h"
#include "storage/WorkingFolder.h"

namespace backup {

namespace {
// How long a remote recorder may take to send a day's index, and to size an entry (it reads
// every minute of the range).
constexpr int kDayIndexWaitMs = 60000;
constexpr int kEntrySizeWaitMs = 600000;
}  // namespace

Session::Session(CQuillonApp& app, IOperatorEvents& events)
    : parts_(std::make_unique<BackupContext>(app, events)) {}

Session::~Session() = default;

void Session::UseCompanions(RemoteRecorder* client, CDVDWriterPro2* writer) {
    parts_->m_link.client = client;
    UseDiscWriter(writer);
}

void Session::LetGoOfLink() {
    BackupContext& c = *parts_;
    if (c.m_link.client)
        c.m_link.client->ForgetReplies();
    if (c.m_link.client && c.m_run.job && !c.m_run.job->plan().host.localMode)
        c.m_run.job->fetchCancel->Cancel();
}

void Session::SetBaseFolder(const std::string& base) {
    parts_->m_host.basePath = base.empty() || base.back() == '\\' ? base : base + "\\";
}

std::string Session::BaseFolder() const {
    return parts_->m_host.basePath;
}

void Session::OpenBase() {
    BackupContext& c = *parts_;
    c.m_schedule.totalKB = 0;
    c.m_profile.SetExePath(c.m_host.basePath, c.m_host.basePath, c.m_host.language,
                           c.m_host.localMode);
    SetStartValues(c.m_host, c.m_app);
    ReadEditFont(c.m_profile);
}

void Session::RestoreSchedule() {
    parts_->m_editor.RestoreSchedule();
}

void Session::SetUpRecorder(const RecorderSetup& setup) {
    BackupContext& c = *parts_;
    c.m_app.m_strExePath = setup.dataFolder;  // the texts are the language file's there
    c.m_app.m_strLanguage = setup.language;
    c.m_profile.SetExePath(setup.dataFolder, setup.dataFolder, setup.language, 0);
    SetBaseFolder(setup.baseFolder);
    c.m_host.language = setup.language;
    c.m_host.dateType = setup.dateType;
    c.m_host.camCount = setup.cameras;
    c.m_host.modelCode = setup.modelCode;
    c.m_host.recorderKind = setup.recorderKind;
}

platform::Outcome Session::CheckWorkingFolder() const {
    return ::CheckWorkingFolder(parts_->m_host);
}

void Session::LoadSavedSchedule() {
    BackupContext& c = *parts_;
    storage::RemoveLeftovers(c.m_host.basePath);
    LoadScheduleTable(c.m_host, c.m_schedule, c.m_prompts);
    c.m_editor.FillScheduleList();
}

platform::Outcome Session::TakeWorkingFolder(const WorkingFolderLock::Options& options) {
    if (platform::Outcome taken = working_.Take(BaseFolder(), options); !taken)
        return taken;
    // A working folder that is a link could lead every write and the clean-up elsewhere.
    if (const platform::Outcome own = CheckWorkingFolder(); !own) {
        working_.Release();
        return platform::Error{
            own.error().kind, Text("BACKUP", "Q010005") + "\n" + own.error().Said(), {}};
    }
    LoadSavedSchedule();
    return platform::Succeeded();
}

void Session::UseRemoteRecorder(const std::string& address, int port, RemoteRecorder* client) {
    BackupContext& c = *parts_;
    c.m_host.localMode = 0;
    c.m_host.serverAddress = address;
    c.m_host.port = port;
    c.m_link.client = client;
    ConnectShareClient(c.m_host, c.m_link);
}

void Session::DropRemoteRecorder() {
    BackupContext& c = *parts_;
    if (c.m_link.client)
        c.m_link.client->ForgetReplies();
    c.m_link.client = nullptr;
}

bool Session::RemoteMode() const {
    return !parts_->m_host.localMode && parts_->m_link.client;
}

void Session::UseDiscWriter(CDVDWriterPro2* writer) {
    parts_->m_disc.writer = writer;
}

bool Session::StartDiscWriter() {
    return parts_->m_burner.InitDiscWriter();
}

bool Session::DiscWriterReady() {
    DiscDrive drive = parts_->m_disc.drive();
    return drive.Start() && !drive.Drives().empty();
}

HostSettings Session::Host() const {
    return parts_->m_host;
}

const CProfileReadWrite& Session::Profile() const {
    return parts_->m_profile;
}

ScheduleListing Session::Schedule() const {
    return parts_->Schedule();
}

std::string Session::ChosenDay() const {
    return parts_->m_day.date;
}

bool Session::PassRunning() const {
    return parts_->m_run.running != 0;
}

bool Session::DiscWriting() const {
    return parts_->m_disc.writing != 0;
}

DaySelection Session::Day() const {
    return parts_->m_day;
}

std::vector<int> Session::CamerasInRange() const {
    const BackupContext& c = *parts_;
    std::vector<int> cameras;
    for (int cam = 0; cam < c.m_host.camCount && cam < kMaxCameras; ++cam)
        if (c.m_day.camExist[cam])
            cameras.push_back(cam + 1);
    return cameras;
}

std::string Session::Text(const std::string& section, const std::string& key) const {
    return parts_->m_prompts.Text(section, key);
}

void Session::ResetChoices() {
    parts_->m_chooser.ResetChoices();
}

bool Session::SelectDayLabel(const std::string& label) {
    return parts_->m_chooser.SelectBackupDayLabel(label);
}

void Session::StartHourChosen(const TimeFields& range) {
    parts_->m_chooser.OnSelchangeStartHour(range);
}

void Session::EndHourChosen(const TimeFields& range) {
    parts_->m_chooser.OnSelchangeEndHour(range);
}

void Session::MinuteChosen(const TimeFields& range) {
    parts_->m_chooser.OnSelchangeMinute(range);
}

void Session::ToggleCamera(int onPage) {
    parts_->m_chooser.OnCameraBox(onPage);
}

void Session::PreviousCameraPage() {
    parts_->m_chooser.OnPrevPage();
}

void Session::NextCameraPage() {
    parts_->m_chooser.OnNextPage();
}

void Session::SelectAllCameras() {
    parts_->m_chooser.OnSelectAllCameras();
}

LoadedDay Session::LoadDay(const std::string& day) {
    BackupContext& c = *parts_;
    if (!RemoteMode())
        return {c.m_chooser.SelectBackupDay(day) ? DayAnswer::kRecorded : DayAnswer::kEmpty, {}};
    c.m_link.lastText.clear();
    c.m_chooser.SelectBackupDay(day);
    if (!c.Inbox().ServeUntil(LinkInbox::Awaited::kDayIndex, kDayIndexWaitMs))
        return {DayAnswer::kNoAnswer, {}};
    const bool found = std::any_of(std::begin(c.m_day.hourHasRec), std::end(c.m_day.hourHasRec),
                                   [](DWORD f) { return f != 0; });
    // An index that did not come is the link's trouble, not an empty day.
    if (!found && !c.m_link.lastText.empty())
        return {DayAnswer::kTrouble, c.m_link.lastText};
    return {found ? DayAnswer::kRecorded : DayAnswer::kEmpty, {}};
}

void Session::ChooseRange(const TimeFields& range) {
    parts_->m_chooser.SetTimeRange(range);
}

CameraRefusal Session::SelectCameras(const std::vector<int>& cameras) {
    if (!cameras.empty())
        return parts_->m_chooser.SelectCameras(cameras);
    parts_->m_chooser.OnSelectAllCameras();
    return {};
}

AddAnswer Session::AddEntryAndWait(const TimeFields& range) {
    if (parts_->m_editor.OnAdd(range).refused())
        return AddAnswer::kRefused;
    // A remote entry is made by the recorder's answer, or not at all (a notice says why).
    if (RemoteMode() &&
        !parts_->Inbox().ServeUntil(LinkInbox::Awaited::kEntrySize, kEntrySizeWaitMs))
        return AddAnswer::kNoAnswer;
    return AddAnswer::kAdded;
}

CommandResult Session::AddEntry(const TimeFields& range) {
    return parts_->m_editor.OnAdd(range);
}

CommandResult Session::DeletePickedEntry() {
    return parts_->m_editor.OnDelete();
}

CommandResult Session::PickEntry(int row) {
    return parts_->m_editor.OnSelchangeSchedule(row);
}

void Session::MemoEdited(const std::string& text) {
    parts_->m_editor.OnChangeMemo(text);
}

CommandResult Session::UpdateMemo() {
    return parts_->m_editor.OnUpdateMemo();
}

void Session::Relist() {
    parts_->m_editor.FillScheduleList();
}

int Session::RowNamed(const std::string& name) const {
    return parts_->m_editor.RowNamed(name);
}

CommandResult Session::DeleteEntry(const std::string& name) {
    return parts_->m_editor.DeleteEntry(name);
}

CommandResult Session::UpdateMemo(const std::string& name, const std::string& memo) {
    return parts_->m_editor.UpdateMemo(name, memo);
}

exhibit::CaseDetails Session::KeptCase() const {
    return LoadKeptCase(parts_->m_host.basePath);
}

bool Session::KeepCase(const exhibit::CaseDetails& details) {
    return backup::KeepCase(parts_->m_host.basePath, details);
}

CommandResult Session::ChooseTarget(const std::string& drivePath, WriterChoice choice) {
    return parts_->m_targets.ChooseStorageTarget(drivePath, choice);
}

bool Session::EraseDisc() {
    return parts_->m_burner.OnErase();
}

void Session::WriterReported(const WriterEvent& event) {
    parts_->m_burner.OnWriterEvent(event);
}

std::unique_ptr<BackupWorker> Session::NewWorker() {
    return std::make_unique<BackupWorker>(parts_->m_run, parts_->m_passEnd);
}

void Session::UseExhibitPdf(ports::IExhibitPdf* pdf) {
    parts_->m_run.exhibitPdf = pdf;
}

std::unique_ptr<PassRun> Session::NewPass() {
    return parts_->NewPass();
}

CommandResult Session::StartPass(BackupWorker& worker, const StartOptions& options) {
    const CommandResult started = parts_->m_starter.OnOK(options);
    if (started.done())
        worker.Start(parts_->m_run.job);
    return started;
}

CancelOutcome Session::Cancel() {
    BackupContext& c = *parts_;
    return ::OnCancel(c.m_disc, c.m_run, c.m_host, c.m_link, c.m_prompts);
}

void Session::StopDiscWrite() {
    parts_->m_disc.drive().Abort();
}

std::string Session::HistoryDrive() {
    BackupContext& c = *parts_;
    return ::OnHistory({c.m_run, c.m_disc}, c.m_target, c.m_prompts);
}

void Session::TellPassOutcome() {
    BackupContext& c = *parts_;
    ::TellPassOutcome(c.m_view, c.m_prompts, c.m_run, c.m_schedule, c.m_host.dateType);
}

void Session::HostRecord(const std::string& block) {
    BackupContext& c = *parts_;
    OnHostRecord(c.m_host, c.m_profile, c.m_link, block, !block.empty());
}

void Session::DriveList(DWORD mask) {
    OnDriveList(parts_->m_host, parts_->m_view, mask);
}

void Session::DownloadProgress(const std::string& record) {
    if (record.empty())
        return;
    BackupContext& c = *parts_;
    OnDownloadProgress(c.m_link, c.m_target, c.m_prompts, c.m_view, ReadDownloadProgress(record));
}

LinkInbox& Session::Inbox() {
    return parts_->Inbox();
}

}  // namespace backup
