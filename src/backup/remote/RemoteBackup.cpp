#include "backup/remote/RemoteBackup.h"

#include <cstdio>
#include <cstring>

#include "backup/pass/PassEnd.h"
#include "backup/remote/LinkInbox.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleCommands.h"
#include "records/RemoteRecords.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

bool ConnectShareClient(const backup::HostSettings& host, backup::LinkState& link) {
    backup::RemoteRecorder* client = link.client;
    if (!client)
        return false;
    const std::string to = host.serverAddress + ":" + std::to_string(host.port);
    if (to == link.connectedTo)
        return true;
    client->Connect(host.serverAddress, host.port);
    link.connectedTo = to;
    return true;
}

void RequestDayIndex(const backup::HostSettings& host, backup::LinkState& link,
                     const std::string& day) {
    if (ConnectShareClient(host, link))
        link.client->DayIndex(day, [inbox = link.inbox](const backup::DayIndexAnswer& a) {
            if (inbox)
                inbox->Post(a);
        });
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
    link_.client->EntrySize(r, [inbox = link_.inbox](const EntrySizeAnswer& a) {
        if (inbox)
            inbox->Post(a);
    });
    return {};
}

void LinkAnswers::OnDayIndex(const DayIndexAnswer& answer) {
    if (!answer.why.empty())
        OnStatus(answer.why);
    if (answer.index)
        OnIndexReply(*answer.index);
}

void LinkAnswers::OnEntrySize(const EntrySizeAnswer& answer) {
    if (!answer.why.empty())
        OnStatus(answer.why);
    if (!link_.awaitingSize)
        return;  // no Add asked: nothing to complete
    link_.awaitingSize = false;
    if (answer.size) {
        OnSizeReply(*answer.size);
        return;
    }
    // No answer to the size request (the link said why in the status line): the Add that waits
    // for it is over, or the window would stay busy for good.
    passEnd_.Idle();
    prompts_.SetStatusText("");
    prompts_.Refuse("Q010009", Text("Q010009") + "\n" + link_.lastText);
}

void LinkAnswers::OnStatus(const std::string& text) {
    link_.lastText = text;
    prompts_.SetStatusText(link_.lastText + " [" + Text("M010013") + "]");
}

void LinkAnswers::OnDownloadBegins(int slot) {
    if (slot >= 0 && slot < kScheduleSlots)
        schedule_.table[static_cast<std::size_t>(slot)].bPending = 0;
}

void LinkAnswers::OnDownloaded() {
    link_.downloadShown = false;
    prompts_.SetStatusText("");
}

}  // namespace backup
