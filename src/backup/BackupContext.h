#pragma once
// What a front end owns for its backup runs: the parts of the state, one owner each, and the
// command classes that work on them, each holding just the parts it needs. No function of the
// core takes the whole; a front end calls the commands (ctx.m_editor.OnAdd(...),
// ctx.m_starter.OnOK(...)) and hears what happened through its view.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CProfileReadWrite.h"
#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/HostSettings.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/TargetPicker.h"
#include "backup/disc/DiscBurn.h"
#include "backup/disc/DiscState.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassEnd.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/PassRun.h"
#include "backup/pass/RunState.h"
#include "backup/pass/ViewPassEvents.h"
#include "backup/remote/LinkInbox.h"
#include "backup/remote/LinkState.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/DaySelection.h"
#include "backup/schedule/ScheduleCommands.h"
#include "backup/schedule/ScheduleListing.h"
#include "backup/schedule/ScheduleState.h"
#include "records/BackupInfo.h"
#include "records/ScheduleEntry.h"

class BackupContext {
  public:
    BackupContext(CQuillonApp& app, backup::IOperatorEvents& view) : m_app(app), m_view(view) {
        Clear();
        m_link.inbox = &m_inbox;
    }

    // Construction values of the dialog's members (all tables zeroed).
    void Clear();

    CQuillonApp& m_app;
    backup::IOperatorEvents& m_view;
    CProfileReadWrite m_profile;

    // What the host said, one owner: copied whole into each pass's plan.
    backup::HostSettings m_host;

    // The chosen day and selection.
    backup::DaySelection m_day;
    // The cameras of the page shown, as the operator last saw them.
    backup::CameraPage m_cameraPage;

    // The schedule and the picked entry.
    backup::ScheduleState m_schedule;

    // The target.
    backup::TargetChoice m_target;

    // The passes.
    backup::RunState m_run;
    // A pass's events, told to the operator.
    backup::ViewPassEvents m_passEvents{m_view};
    // Texts, the status line, notices and questions.
    backup::OperatorPrompts m_prompts{m_app, m_view};

    // The disc writer and the remote link, when this front end has them.
    backup::DiscState m_disc;
    backup::LinkState m_link;

    // The day and camera commands, on the parts they work on.
    backup::DayChooser m_chooser{
        m_host,     m_day,  m_cameraPage,
        m_schedule, m_view, [this](const std::string& day) { AskDayIndex(day); }};
    // The target commands, on the target, the disc writer and the schedule's total.
    backup::TargetPicker m_targets{m_target, m_disc, m_schedule, m_view, m_prompts};
    // The schedule's commands: Add, Delete, picking an entry, the memo.
    backup::ScheduleEditor m_editor{
        m_host,
        m_profile,
        m_day,
        m_schedule,
        m_view,
        m_prompts,
        m_chooser,
        m_targets,
        {m_run, m_disc},
        [this](const std::string& entry, const std::string& start, const std::string& end) {
            return AskEntrySize(entry, start, end);
        }};

    // The disc writer's start, the write of a built image, its events, the erase.
    backup::DiscBurner m_burner{
        m_disc,    m_run,     m_host, m_target, m_profile, {m_schedule, m_editor},
        m_chooser, m_targets, m_view, m_prompts};

    // What the end of a pass does to the schedule, the disc and the view; the worker tells it.
    backup::PassEnd m_passEnd{
        m_run, {m_schedule, m_editor}, m_target, m_profile, m_chooser, m_burner, m_view, m_prompts};

    // The link's requests and the remote recorder's answers.
    backup::LinkAnswers m_linkAnswers{
        m_link,   m_host,
        m_day,    {m_schedule, m_profile},
        m_target, {m_chooser, m_targets, m_passEnd, m_view, m_prompts}};

    // The OK command.
    backup::PassStarter m_starter{m_run,      m_host,
                                  m_schedule, {m_target, m_targets, m_disc},
                                  m_link,     {m_chooser, m_view, m_prompts, m_passEvents, m_app}};

    // The schedule as it is now, read into values of the caller's own.
    backup::ScheduleListing Schedule() const {
        return backup::ListSchedule(m_host, m_profile, m_schedule);
    }
    // The link's answers, kept for the front end's thread to serve (see LinkInbox.h).
    backup::LinkInbox& Inbox() { return m_inbox; }

    // A pass for a front end without a window to start, serve and read (see PassRun.h).
    std::unique_ptr<backup::PassRun> NewPass() {
        return std::make_unique<backup::PassRun>(m_run, m_passEnd, m_host, m_link, m_inbox,
                                                 m_starter);
    }

  private:
    backup::LinkInbox m_inbox{m_link, m_target, m_prompts, m_view, m_linkAnswers};

    // A remote recorder's index of day, asked for over the link.
    void AskDayIndex(const std::string& day);
    // A remote recorder's size of a new entry, asked for over the link.
    backup::CommandResult AskEntrySize(const std::string& entry, const std::string& start,
                                       const std::string& end);
};
