#include "backup/RemoteBackup.h"

#include <cstdio>
#include <cstring>

#include "backup/BackupPackage.h"
#include "backup/CameraSelection.h"
#include "backup/ContextPass.h"
#include "backup/CopyEngine.h"
#include "backup/DiscBurn.h"
#include "backup/EntrySize.h"
#include "backup/ImageManifest.h"
#include "backup/PassEnd.h"
#include "backup/ReservedFolder.h"
#include "backup/ScheduleCommands.h"
#include "backup/ShareService.h"
#include "platform/AtomicFile.h"
#include "platform/WriteTap.h"
#include "ports/CFileShareClient.h"
#include "records/RemoteRecords.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

std::string Text(const BackupContext& ctx, const char* key) {
    return ctx.GetLanguageText("BACKUP", key);
}

void Idle(BackupContext& ctx) {
    ctx.m_passEnd.Idle();
}

// A record's text field, which a hostile sender may leave unterminated.
std::string Field(const char* field, std::size_t room) {
    return std::string(field, strnlen(field, room));
}

void OnIndexReply(BackupContext& ctx, const _INDEXREPLY& r) {
    std::memcpy(ctx.m_day.hourHasRec, r.bHourHasRec, sizeof ctx.m_day.hourHasRec);
    std::memcpy(ctx.m_day.minuteHasRec, r.bMinuteHasRec, sizeof ctx.m_day.minuteHasRec);
    std::memcpy(ctx.m_day.camExist, r.bCamExist, sizeof ctx.m_day.camExist);
    std::memcpy(ctx.m_day.recMap.data(), r.recMap, sizeof r.recMap);
    ctx.m_chooser.ClearTimeCombos();
    if (r.bFound)
        ctx.m_chooser.ShowRecordedHours();
    ctx.m_chooser.ShowDayCameras();
    ctx.m_schedule.pickedRow = -1;
    ctx.m_view.ScheduleRowPicked(-1);
}

void OnSizeReply(BackupContext& ctx, const _ADDSIZEREPLY& r) {
    ctx.m_day.selCamCount = r.nSelCamCount;
    const std::string day = Field(r.szDay, sizeof r.szDay);
    const std::string start = Field(r.szStart, sizeof r.szStart);
    const std::string end = Field(r.szEnd, sizeof r.szEnd);
    const std::string entry = Field(r.szEntry, sizeof r.szEntry);
    const bool wellFormed = day.size() == 8 && start.size() == 4 && end.size() == 4 &&
                            entry == MakeEntryString(day, start.substr(0, 2), start.substr(2),
                                                     end.substr(0, 2), end.substr(2));
    if (r.nSize == 0 || !wellFormed) {
        Idle(ctx);
        ctx.SetStatusText("");
        ctx.ShowMessage("Add schedule size zero(0).");
        return;
    }
    const auto slot = FindFreeSlot(ctx.m_schedule.table);
    const std::string label = EntryToLabel(entry, ctx.m_host.dateType);
    if (!slot || FindListRow(ctx.m_schedule, label) >= 0) {
        // Another entry took the last slot or the same range while the answer was on its way.
        Idle(ctx);
        ctx.SetStatusText("");
        ctx.Refuse(slot ? "M010009" : "M010050");
        return;
    }
    ctx.m_schedule.lastEntryKB = r.nSize;
    const DWORD totalBefore = ctx.m_schedule.totalKB;
    ctx.m_schedule.AddToTotal(r.nAddTotal);
    ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
    ScheduleEntry& e =
        FillNewSlot(ctx.m_schedule, ctx.m_day, ctx.m_host.camCount, *slot, day + start, day + end);
    const std::string working = paths::WorkingFolder(ctx.m_host.basePath);
    platform::CreateDirectory(working);
    platform::CreateDirectory(working + "\\" + entry);
    if (!SaveMinuteMap(ctx.m_day, working, entry, day) ||
        !SaveScheduleTable(ctx.m_host, ctx.m_schedule)) {
        // No half entry, as a local Add.
        ctx.m_schedule.totalKB = totalBefore;
        std::memset(&e, 0, sizeof e);
        storage::DeleteFolderTree(working + "\\" + entry);
        ShowTotalSize(ctx.m_profile, ctx.m_schedule, ctx.m_view);
        Idle(ctx);
        ctx.SetStatusText("");
        ctx.Refuse("M010003");
        return;
    }
    ctx.m_chooser.ResetCameraSelection();
    InsertListRow(ctx.m_schedule, ctx.m_view, label);
    ctx.m_targets.UpdateDiscSpaceBar(ctx.m_target.discReady != 0);
    Idle(ctx);
    ctx.SetStatusText("");
}

void OnDownloadEntry(BackupContext& ctx, std::size_t slot) {
    // A late answer of a run that was stopped meanwhile fetches nothing.
    if (slot >= static_cast<std::size_t>(kScheduleSlots) || !ctx.m_link.client || !ctx.m_run.job ||
        !ctx.m_run.running)
        return;
    backup::PassJob& job = *ctx.m_run.job;
    const backup::PassPlan& plan = job.plan();
    const ScheduleEntry& e = plan.entries[slot];
    const std::string startKey = StartKey(e), endKey = EndKey(e);
    if (startKey.size() < 12 || endKey.size() < 12)
        return;
    std::string root;
    if (plan.target == backup::TargetKind::kDisc) {
        root = std::string(paths::kDiscImageRoot) + "\\";
        platform::CreateDirectory(paths::kDiscImageRoot);
    } else if (plan.target == backup::TargetKind::kFolder) {
        root = plan.targetText;
        if (root.empty() || root.back() != '\\')
            root += '\\';
    }
    const std::string day = startKey.substr(0, 8);
    const std::string entry =
        NormalizeLabelSeparators(MakeEntryString(day, startKey.substr(8, 2), startKey.substr(10, 2),
                                                 endKey.substr(8, 2), endKey.substr(10, 2)),
                                 plan.host.dateType);
    const std::string folder = root + entry + "\\" + day + "\\";
    // What a killed download left half-written under temporary names.
    platform::RemoveLeftoverTempFiles(folder);
    platform::RemoveLeftoverTempFiles(folder + "Audio");
    ctx.m_link.client->SetDownloadDir(folder);
    ctx.m_link.client->SetWriteTap(ImageManifestLinkTap(job));
    ctx.m_link.client->StartDownload();
    job.pending[slot] = false;
    ctx.m_schedule.table[slot].bPending = 0;
}

// The link says the run is over. What was fetched is marked as a partial image; the worker
// writes its manifest between its steps and then the window is told, or the window is told at
// once when the worker takes no more steps.
void OnRemoteRunEnded(BackupContext& ctx, const std::string& why,
                      const std::function<void()>& wakeWorker) {
    ctx.m_run.running = 0;
    ctx.m_run.report.Stopped();
    if (!why.empty())
        ctx.m_run.report.Fail(why);
    if (ctx.m_run.job && !ctx.m_run.job->plan().host.localMode && wakeWorker &&
        !ctx.m_run.job->EndByLink(why)) {
        wakeWorker();
        return;
    }
    ctx.m_passEnd.ShowRemoteRunEnded(why);
}

}  // namespace

void SetShareReceiver(backup::LinkState& link, IShareClientReceiver* receiver) {
    link.receiver = receiver;
}

bool ConnectShareClient(const backup::HostSettings& host, backup::LinkState& link) {
    CFileShareClient* client = link.client;
    if (!client)
        return false;
    const std::string to = host.serverAddress + ":" + std::to_string(host.port);
    if (to == link.connectedTo)
        return true;
    if (!client->InitSock())
        return false;
    client->Connect(host.serverAddress, host.port, link.receiver);
    link.connectedTo = to;
    return true;
}

void RequestDayIndex(const backup::HostSettings& host, backup::LinkState& link,
                     const std::string& day) {
    if (ConnectShareClient(host, link))
        link.client->ReqClient_LoadIndexData(day);
}

backup::CommandResult RequestEntrySize(BackupContext& ctx, const std::string& entry,
                                       const std::string& start, const std::string& end) {
    if (!ConnectShareClient(ctx.m_host, ctx.m_link))
        return ctx.Refuse("Q010008");
    _BACKUPADDTOTALSIZE r;
    std::memset(&r, 0, sizeof r);
    const std::string day = ctx.m_day.date.substr(0, 8);
    std::snprintf(r.szDay, sizeof r.szDay, "%s", day.c_str());
    std::snprintf(r.szStart, sizeof r.szStart, "%s", start.c_str());
    std::snprintf(r.szEnd, sizeof r.szEnd, "%s", end.c_str());
    std::snprintf(r.szEntry, sizeof r.szEntry, "%s", entry.c_str());
    std::memcpy(r.bHourHasRec, ctx.m_day.hourHasRec, sizeof r.bHourHasRec);
    std::memcpy(r.bMinuteHasRec, ctx.m_day.minuteHasRec, sizeof r.bMinuteHasRec);
    std::memcpy(r.bCamSel, ctx.m_day.camSel, sizeof r.bCamSel);
    r.nCamCount = static_cast<DWORD>(ctx.m_host.camCount);
    ctx.m_chooser.SetControlsState(ControlsMode::kBusy, ctx.m_target.IsDisc());
    ctx.m_view.SetPreviewControlsState(0);
    ctx.SetStatusText(Text(ctx, "M010015"));
    ctx.m_link.awaitingSize = true;
    ctx.m_link.client->GetAddTotalSize(r);
    return {};
}

namespace {

// The pass was stopped: the image's manifest says so; the window is told now when the link has
// ended the run already, else when it does.
RemoteStep StopSteps(backup::PassJob& job) {
    job.report().Stopped();
    FinishImageManifest(job);
    RemoteStep step;
    if (job.EndSteps()) {
        step.end = RemoteStep::End::kStopped;
        step.why = job.linkEndedWhy();
    }
    return step;
}

}  // namespace

RemoteStep RunRemoteStep(backup::PassJob& job) {
    const backup::PassPlan& plan = job.plan();
    RemoteStep step;
    if (job.stepsEnded())
        return step;
    if (!job.linked) {
        // Without a link nothing can be fetched, and the window must not stay running.
        job.EndSteps();
        step.end = RemoteStep::End::kNoLink;
        return step;
    }
    const bool first = !job.begun;
    job.begun = true;
    if (first)
        ClearDiscImageFolder(plan);
    BeginImageManifest(job);
    // The files written here (the viewer, each entry's information and map) are hashed too.
    platform::ScopedWriteTap tap(ImageManifestTap(job));
    if (first && plan.includeViewer) {
        WriteViewerIni(job);
        CopyViewerFiles(job);
    }
    for (int i = 0; i < kScheduleSlots; ++i) {
        if (!job.running())
            return StopSteps(job);
        const ScheduleEntry& e = plan.entries[static_cast<std::size_t>(i)];
        if (!e.bUsed || !job.pending[static_cast<std::size_t>(i)])
            continue;
        const std::string startKey = StartKey(e), endKey = EndKey(e);
        PrepareEntryFolders(job, startKey, endKey);
        const EntryImagePaths p = MakeEntryImagePaths(plan, startKey, endKey);
        job.fetching = p.entry;
        const std::string dest = paths::EntryDestFolder(p.imageRoot, p.entry, p.day);
        CopyFilesToFolder(job, paths::WorkingInfoPath(plan.host.basePath, p.entry), dest);
        CopyFilesToFolder(job, paths::WorkingMinuteMapPath(plan.host.basePath, p.entry, p.day),
                          dest);
        _BACKUPMAKEIMAGE request;
        std::memset(&request, 0, sizeof request);
        request.nTargetType = plan.targetType();
        request.nDateType = plan.host.dateType;
        request.nSlot = i;
        request.entry = e;
        job.shareClient->ReqSetAddBackupDataPath(request);
        return step;
    }
    if (!job.running())
        return StopSteps(job);
    const std::size_t failures = job.report().failureCount();
    FinishImageManifest(job);
    job.EndSteps();
    if (job.report().failureCount() > failures) {
        // Files that arrived are gone from the target again: not a completed backup.
        step.end = RemoteStep::End::kLost;
        step.why = job.report().failures()[failures];
        return step;
    }
    job.events().Progress(100);
    step.end = RemoteStep::End::kFetched;
    return step;
}

void OnShareClientMessage(BackupContext& ctx, std::uintptr_t code, const void* record,
                          std::size_t size, const std::function<void()>& wakeWorker) {
    switch (code) {
        case kAnswerIndex:
            if (record && size == sizeof(_INDEXREPLY))
                OnIndexReply(ctx, *static_cast<const _INDEXREPLY*>(record));
            break;
        case kAnswerAddSize:
            if (!ctx.m_link.awaitingSize)
                break;  // no Add asked: nothing to complete
            ctx.m_link.awaitingSize = false;
            if (record && size == sizeof(_ADDSIZEREPLY)) {
                OnSizeReply(ctx, *static_cast<const _ADDSIZEREPLY*>(record));
            } else {
                // No answer to the size request (the link said why in the status line): the
                // Add that waits for it is over, or the window would stay busy for good.
                Idle(ctx);
                ctx.SetStatusText("");
                ctx.Refuse("Q010009", Text(ctx, "Q010009") + "\n" + ctx.m_link.lastText);
            }
            break;
        case kAnswerDownload:
            OnDownloadEntry(ctx, size);
            break;
        case kAnswerFetched:
            if (ctx.m_link.client && ctx.m_run.job)
                ctx.m_link.client->ReqTempDataDelete(std::string(kNetTempRoot) + "\\" +
                                                     ctx.m_run.job->fetching);
            ctx.m_link.downloadShown = 0;
            ctx.SetStatusText("");
            break;
        case kAnswerDeleted:
            if (wakeWorker)
                wakeWorker();
            break;
        case kAnswerEnded:
            OnRemoteRunEnded(ctx,
                             record ? Field(static_cast<const char*>(record), size) : std::string(),
                             wakeWorker);
            break;
        case kAnswerStatus:
            if (record) {
                ctx.m_link.lastText = Field(static_cast<const char*>(record), size);
                ctx.SetStatusText(ctx.m_link.lastText + " [" + Text(ctx, "M010013") + "]");
            }
            break;
        default:
            break;
    }
}
