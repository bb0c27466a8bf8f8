#include <cstring>
#include <utility>

#include "backup/pass/BackupPackage.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/EntrySource.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/ImageManifest.h"
#include "platform/WriteTap.h"
#include "ports/CFileShareClient.h"
#include "records/RemoteRecords.h"
#include "storage/RecorderPaths.h"

namespace backup {
namespace {

// How the run ended over the link.
PassEnding Ended(PassEnding::Link link, std::string why = std::string()) {
    return {PassEnding::Source::kLink, link, std::move(why)};
}

// The download hashes nothing more once the image is closed.
void CloseLinkedImage(PassJob& job, bool whole) {
    if (job.shareClient)
        job.shareClient->SetWriteTap(nullptr);
    CloseImage(job, whole);
}

// The pass was stopped: the image's manifest says so; the window is told now when the link has
// ended the run already, else by the link when it does.
std::optional<PassEnding> StopSteps(PassJob& job) {
    job.report().Stopped();
    CloseLinkedImage(job, false);
    if (job.EndSteps())
        return Ended(PassEnding::Link::kStopped, job.linkEndedWhy());
    return std::nullopt;
}

// The run over for this source. The worker keeps the job all the same: a late answer of the
// link finds its steps ended and takes none, and a worker told to end while the run waits
// between its steps abandons it.
PassStep RunOver(std::optional<PassEnding> ending) {
    return {false, std::move(ending)};
}

}  // namespace

PassStep LinkSource::Step(PassJob& job) {
    const PassPlan& plan = job.plan();
    if (job.stepsEnded())
        return RunOver(std::nullopt);
    if (!job.linked) {
        // Without a link nothing can be fetched, and the window must not stay running.
        job.EndSteps();
        return RunOver(Ended(PassEnding::Link::kNoLink));
    }
    const bool first = !job.begun;
    job.begun = true;
    // The image opens at the first step; its hashing, should the target not have been there
    // then, begins at a later one.
    if (first)
        OpenImage(job);
    else
        BeginImageManifest(job);
    // The files written here (the viewer, each entry's information and map) are hashed too.
    platform::ScopedWriteTap tap(ImageManifestTap(job));
    if (first && plan.includeViewer) {
        WriteViewerIni(job);
        CopyViewerFiles(job);
    }
    // The entry fetched last is in the image now: its MP4 files are made from it there.
    if (const int fetched = std::exchange(job.fetchingSlot, -1);
        fetched >= 0 && plan.mp4 && job.running()) {
        const ScheduleEntry& e = plan.entries[static_cast<std::size_t>(fetched)];
        const std::size_t failures = job.report().failureCount();
        MakeEntryVideo(job, e, MakeEntryImagePaths(plan, StartKey(e), EndKey(e)));
        if (job.report().failureCount() > failures) {
            const PassFailure failure = job.report().Failures()[failures];
            if (job.videoFailure.empty())
                job.videoFailure = failure.Text();
            if (job.report().EntryComplete(fetched))
                job.report().EntryDone(
                    fetched, false, failure.entry == job.fetching ? failure.what : failure.Text());
        }
    }
    for (int i = 0; i < kScheduleSlots; ++i) {
        if (!job.running())
            return RunOver(StopSteps(job));
        const ScheduleEntry& e = plan.entries[static_cast<std::size_t>(i)];
        if (!e.bUsed || !job.pending[static_cast<std::size_t>(i)])
            continue;
        const EntryImagePaths p = MakeEntryImagePaths(plan, StartKey(e), EndKey(e));
        // An entry whose folders lead out of the target is not fetched at all: nothing of it
        // may land where a link points.
        if (!PrepareEntryFolders(job, i, p)) {
            job.pending[static_cast<std::size_t>(i)] = false;
            continue;
        }
        job.fetching = p.entry;
        job.fetchingSlot = i;
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
        return {};
    }
    if (!job.running())
        return RunOver(StopSteps(job));
    const std::size_t failures = job.report().failureCount();
    CloseLinkedImage(job, true);
    job.EndSteps();
    if (job.report().failureCount() > failures) {
        // Files that arrived are gone from the target again, or never reached its device: not
        // a completed backup.
        return RunOver(Ended(PassEnding::Link::kLost, job.report().failures()[failures]));
    }
    // An image without the MP4 files it was asked for is not complete either.
    if (!job.videoFailure.empty())
        return RunOver(Ended(PassEnding::Link::kLost, job.videoFailure));
    job.events().Progress(100);
    return RunOver(Ended(PassEnding::Link::kFetched));
}

std::optional<PassEnding> LinkSource::Abandon(PassJob& job) {
    // A run stopped as the worker is told to end still gets its partial manifest.
    if (!job.begun || job.stepsEnded())
        return std::nullopt;
    return Step(job).ending;
}

}  // namespace backup
