#include "backup/Session.h"

#include "backup/BackupContext.h"
#include "backup/BackupWorker.h"
#include "backup/DialogStart.h"
#include "backup/HostMessages.h"
#include "backup/PassEnd.h"

namespace backup {

Session::Session(CQuillonApp& app, IOperatorEvents& events)
    : parts_(std::make_unique<BackupContext>(app, events)) {}

Session::~Session() = default;

void Session::UseCompanions(CFileShareClient* client, CDVDWriterPro2* writer) {
    parts_->m_link.client = client;
    parts_->m_disc.writer = writer;
}

void Session::HearLink() {
    SetShareReceiver(parts_->m_link, &parts_->Inbox());
}

void Session::LetGoOfLink() {
    BackupContext& c = *parts_;
    if (c.m_link.client && !c.m_link.connectedTo.empty())
        c.m_link.client->Connect(c.m_host.serverAddress, c.m_host.port, nullptr);
    if (c.m_link.client && c.m_run.job && !c.m_run.job->plan().host.localMode &&
        !c.m_run.job->stepsEnded())
        c.m_link.client->ReqClient_DownloadCancel();
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

CommandResult Session::StartPass(BackupWorker& worker, const StartOptions& options) {
    return parts_->m_starter.OnOK(worker, options);
}

CancelOutcome Session::Cancel() {
    BackupContext& c = *parts_;
    return ::OnCancel(c.m_disc, c.m_run, c.m_host, c.m_link, c.m_prompts);
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
    BackupContext& c = *parts_;
    OnDownloadProgress(c.m_link, c.m_target, c.m_prompts, c.m_view, record, !record.empty());
}

LinkInbox& Session::Inbox() {
    return parts_->Inbox();
}

}  // namespace backup
