#include "backup/server/ShareService.h"

#include <cstring>

#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/server/ShareRequest.h"
#include "storage/RecordedDays.h"

namespace {

// The served recorder, whose working folder (for the entry's information and minute map files
// that the extraction copies) lies beside the images: "C:\NetBackupTemp\Reserved".
backup::HostSettings HostOf(const ShareService::Settings& settings) {
    backup::HostSettings host =
        ServedHost(settings.storageRoot, settings.cameras, settings.modelCode);
    host.basePath = ShareImageStore::Base();
    return host;
}

}  // namespace

ShareService::ShareService(const Settings& settings)
    : host_(HostOf(settings)), store_(settings), builder_(host_, store_) {}

ShareService::~ShareService() = default;

std::vector<std::string> ShareService::RecordedDays() const {
    return storage::ListRecordedDays(host_.storageRoot);
}

_INDEXREPLY ShareService::IndexReply(const std::string& day) {
    _INDEXREPLY reply;
    std::memset(&reply, 0, sizeof reply);
    if (!IsRequestedDay(day))
        return reply;
    backup::DaySelection sel;
    reply.bFound = ScanRecordedDay(host_, sel, day) ? 1 : 0;
    std::memcpy(reply.bHourHasRec, sel.hourHasRec, sizeof reply.bHourHasRec);
    std::memcpy(reply.bMinuteHasRec, sel.minuteHasRec, sizeof reply.bMinuteHasRec);
    std::memcpy(reply.bCamExist, sel.camExist, sizeof reply.bCamExist);
    std::memcpy(reply.recMap, sel.recMap.data(), sizeof reply.recMap);
    return reply;
}

_ADDSIZEREPLY ShareService::AddSize(const _BACKUPADDTOTALSIZE& request) {
    _ADDSIZEREPLY reply;
    std::memset(&reply, 0, sizeof reply);
    std::memcpy(&reply, &request, offsetof(_ADDSIZEREPLY, nSize));
    if (!SizeRequestWellFormed(request))
        return reply;  // size 0: nothing to back up
    const backup::HostSettings host = SizeRequestHost(host_, request);
    const backup::DaySelection sel = SizeRequestSelection(request);
    const storage::EstimateTotals totals =
        EstimateEntry(host, sel, FieldText(request.szDay, sizeof request.szDay),
                      FieldText(request.szStart, sizeof request.szStart),
                      FieldText(request.szEnd, sizeof request.szEnd));
    if (totals.kb == 0)
        return reply;
    reply.nSize = storage::EntrySizeKB(totals);
    reply.nAddTotal = reply.nSize;  // the total of a schedule that held nothing else
    reply.nSelCamCount = static_cast<DWORD>(SelectedCameras(host, sel).count());
    return reply;
}

ShareService::Image ShareService::MakeImage(const _BACKUPMAKEIMAGE& request,
                                            const Progress& progress,
                                            const std::atomic<bool>& cancel, const FileReady& ready,
                                            const FileWithdrawn& withdrawn,
                                            const std::string& owner) {
    std::lock_guard<std::mutex> build(buildMutex_);
    return builder_.Build(request, {progress, cancel, ready, withdrawn, owner});
}

bool ShareService::DeleteTemp(const std::string& path) {
    const std::string entry = ShareImageStore::EntryOf(path);
    if (entry.empty())
        return false;
    const bool listed = store_.Unlist(entry);
    std::lock_guard<std::mutex> build(buildMutex_);
    return store_.RemoveFolder(entry, listed);
}

void ShareService::RemoveAbandoned() {
    std::unique_lock<std::mutex> build(buildMutex_, std::try_to_lock);
    if (build.owns_lock())
        store_.RemoveAbandoned();
}
