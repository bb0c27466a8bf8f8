#include "backup/remote/RemoteBackup.h"

#include <cstdio>
#include <cstring>

#include "backup/pass/Extraction.h"
#include "backup/pass/ImageManifest.h"
#include "backup/pass/PassEnd.h"
#include "backup/pass/WriteGuard.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleCommands.h"
#include "backup/server/ShareImageStore.h"
#include "platform/AtomicFile.h"
#include "ports/CFileShareClient.h"
#include "records/RemoteRecords.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

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

namespace backup {

std::string LinkAnswers::Text(const char* key) const {
    return prompts_.Text("BACKUP", key);
}

void LinkAnswers::OnIndexReply(const _INDEXREPLY& r) {
    std::memcpy(day_.hourHasRec, r.bHourHasRec, sizeof day_.hourHasRec);
    std::memcpy(day_.minuteHasRec, r.bMinuteHasRec, sizeof day_.minuteHasRec);
    std::memcpy(day_.camExist, r.bCamExist, sizeof day_.camExist);
    std::memcpy(day_.recMap.data(), r.recMap, sizeof r.recMap);
    chooser_.ClearTimeCombos();
    if (r.bFound)
        chooser_.TellRecordedHours();
    chooser_.TellDayCameras();
    schedule_.pickedRow = -1;
    view_.ScheduleRowPicked(-1);
}

void LinkAnswers::OnSizeReply(const _ADDSIZEREPLY& r) {
    day_.selCamCount = r.nSelCamCount;
    const std::string day = FieldText(r.szDay, sizeof r.szDay);
    const std::string start = FieldText(r.szStart, sizeof r.szStart);
    const std::string end = FieldText(r.szEnd, sizeof r.szEnd);
    const std::string entry = FieldText(r.szEntry, sizeof r.szEntry);
    const bool wellFormed = day.size() == 8 && start.size() == 4 && end.size() == 4 &&
                            entry == MakeEntryString(day, start.substr(0, 2), start.substr(2),
                                                     end.substr(0, 2), end.substr(2));
    if (r.nSize == 0 || !wellFormed) {
        passEnd_.Idle();
        prompts_.SetStatusText("");
        prompts_.Tell("Add schedule size zero(0).");
        return;
    }
    const auto slot = FindFreeSlot(schedule_.table);
    const std::string label = EntryToLabel(entry, host_.dateType);
    if (!slot || FindListRow(schedule_, label) >= 0) {
        // Another entry took the last slot or the same range while the answer was on its way.
        passEnd_.Idle();
        prompts_.SetStatusText("");
        prompts_.Refuse(slot ? "M010009" : "M010050");
        return;
    }
    schedule_.lastEntryKB = r.nSize;
    const DWORD totalBefore = schedule_.totalKB;
    schedule_.AddToTotal(r.nAddTotal);
    TellTotalSize(profile_, schedule_, view_);
    ScheduleEntry& e = FillNewSlot(schedule_, day_, host_.camCount, *slot, day + start, day + end);
    const std::string working = paths::WorkingFolder(host_.basePath);
    platform::CreateDirectory(working);
    platform::CreateDirectory(working + "\\" + entry);
    if (!SaveMinuteMap(day_, working, entry, day) || !SaveScheduleTable(host_, schedule_)) {
        // No half entry, as a local Add.
        schedule_.totalKB = totalBefore;
        std::memset(&e, 0, sizeof e);
        storage::DeleteFolderTree(working + "\\" + entry);
        TellTotalSize(profile_, schedule_, view_);
        passEnd_.Idle();
        prompts_.SetStatusText("");
        prompts_.Refuse("M010003");
        return;
    }
    chooser_.ResetCameraSelection();
    InsertListRow(schedule_, view_, label);
    targets_.TellDiscSpace(target_.discReady != 0);
    passEnd_.Idle();
    prompts_.SetStatusText("");
}

void LinkAnswers::OnDownloadEntry(std::size_t slot, const std::function<void()>& wakeWorker) {
    // A late answer of a run that was stopped meanwhile fetches nothing.
    if (slot >= static_cast<std::size_t>(kScheduleSlots) || !link_.client || !run_.job ||
        !run_.running)
        return;
    PassJob& job = *run_.job;
    const PassPlan& plan = job.plan();
    const ScheduleEntry& e = plan.entries[slot];
    const std::string startKey = StartKey(e), endKey = EndKey(e);
    if (startKey.size() < 12 || endKey.size() < 12)
        return;
    const EntryImagePaths p = MakeEntryImagePaths(plan, startKey, endKey);
    const std::string folder = paths::EntryDestFolder(p.imageRoot, p.entry, p.day);
    // The folders were looked at when the entry was asked for; a link put in their place since
    // must not take the download (or the clearing of its leftovers) out of the target.
    for (const std::string& f : {paths::EntryFolder(p.imageRoot, p.entry), folder,
                                 paths::EntryAudioFolder(p.imageRoot, p.entry, p.day)}) {
        if (const std::string problem = WriteFolderProblem(plan.host, f, p.imageRoot, true);
            !problem.empty()) {
            const PassFailure failure{p.entry, "nothing was copied: " + problem};
            return OnRemoteRunEnded(failure.Text(), wakeWorker, &failure);
        }
    }
    // What a killed download left half-written under temporary names.
    platform::RemoveLeftoverTempFiles(folder);
    platform::RemoveLeftoverTempFiles(folder + "Audio");
    link_.client->SetDownloadDir(folder);
    link_.client->SetWriteTap(ImageManifestLinkTap(job));
    link_.client->StartDownload();
    job.pending[slot] = false;
    schedule_.table[slot].bPending = 0;
}

void LinkAnswers::OnEntryFetched(const PassJob& job, const RemoteImageLacks& lacks) {
    // What the remote recording lacks no other run can fetch: the entry is as whole as it will
    // be, and says what it lacks as a local pass's entry does.
    for (const std::string& what : lacks.failures)
        run_.report.Damaged(job.fetching, what);
    const bool whole = lacks.failures.empty();
    run_.report.EntryDone(job.fetchingSlot, whole,
                          whole || !lacks.why.empty() ? lacks.why : lacks.failures.front(), true);
}

void LinkAnswers::OnRemoteRunEnded(const std::string& why, const std::function<void()>& wakeWorker,
                                   const PassFailure* failure) {
    run_.running = 0;
    run_.report.Stopped();
    if (failure)
        run_.report.Fail(failure->entry, failure->what);
    else if (!why.empty())
        run_.report.Fail(why);
    if (run_.job && !run_.job->plan().host.localMode && wakeWorker && !run_.job->EndByLink(why)) {
        wakeWorker();
        return;
    }
    passEnd_.TellRemoteRunEnded(why);
}

CommandResult LinkAnswers::RequestEntrySize(const std::string& entry, const std::string& start,
                                            const std::string& end) {
    if (!ConnectShareClient(host_, link_))
        return prompts_.Refuse("Q010008");
    _BACKUPADDTOTALSIZE r;
    std::memset(&r, 0, sizeof r);
    const std::string day = day_.date.substr(0, 8);
    std::snprintf(r.szDay, sizeof r.szDay, "%s", day.c_str());
    std::snprintf(r.szStart, sizeof r.szStart, "%s", start.c_str());
    std::snprintf(r.szEnd, sizeof r.szEnd, "%s", end.c_str());
    std::snprintf(r.szEntry, sizeof r.szEntry, "%s", entry.c_str());
    std::memcpy(r.bHourHasRec, day_.hourHasRec, sizeof r.bHourHasRec);
    std::memcpy(r.bMinuteHasRec, day_.minuteHasRec, sizeof r.bMinuteHasRec);
    std::memcpy(r.bCamSel, day_.camSel, sizeof r.bCamSel);
    r.nCamCount = static_cast<DWORD>(host_.camCount);
    chooser_.SetActivity(Activity::kPass, target_.IsDisc());
    prompts_.SetStatusText(Text("M010015"));
    link_.awaitingSize = true;
    link_.client->GetAddTotalSize(r);
    return {};
}

void LinkAnswers::OnShareClientMessage(std::uintptr_t code, const void* record, std::size_t size,
                                       const std::function<void()>& wakeWorker) {
    switch (code) {
        case kAnswerIndex:
            if (record && size == sizeof(_INDEXREPLY))
                OnIndexReply(*static_cast<const _INDEXREPLY*>(record));
            break;
        case kAnswerAddSize:
            if (!link_.awaitingSize)
                break;  // no Add asked: nothing to complete
            link_.awaitingSize = false;
            if (record && size == sizeof(_ADDSIZEREPLY)) {
                OnSizeReply(*static_cast<const _ADDSIZEREPLY*>(record));
            } else {
                // No answer to the size request (the link said why in the status line): the
                // Add that waits for it is over, or the window would stay busy for good.
                passEnd_.Idle();
                prompts_.SetStatusText("");
                prompts_.Refuse("Q010009", Text("Q010009") + "\n" + link_.lastText);
            }
            break;
        case kAnswerDownload:
            OnDownloadEntry(size, wakeWorker);
            break;
        case kAnswerFetched:
            if (link_.client && run_.job)
                OnEntryFetched(*run_.job, link_.client->ImageLacks());
            if (link_.client && run_.job)
                link_.client->ReqTempDataDelete(std::string(kNetTempRoot) + "\\" +
                                                run_.job->fetching);
            link_.downloadShown = 0;
            prompts_.SetStatusText("");
            break;
        case kAnswerDeleted:
            if (wakeWorker)
                wakeWorker();
            break;
        case kAnswerEnded:
            OnRemoteRunEnded(
                record ? FieldText(static_cast<const char*>(record), size) : std::string(),
                wakeWorker);
            break;
        case kAnswerStatus:
            if (record) {
                link_.lastText = FieldText(static_cast<const char*>(record), size);
                prompts_.SetStatusText(link_.lastText + " [" + Text("M010013") + "]");
            }
            break;
        default:
            break;
    }
}

}  // namespace backup
