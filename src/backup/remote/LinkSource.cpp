#include <cstring>
#include <utility>

#include "backup/pass/BackupPackage.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/EntrySource.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/ImageManifest.h"
#include "backup/pass/WriteGuard.h"
#include "backup/server/ShareImageStore.h"
#include "platform/AtomicFile.h"
#include "platform/WriteTap.h"
#include "records/RemoteRecords.h"
#include "storage/RecorderPaths.h"

namespace backup {
namespace {

// How the run ended over the link.
PassEnding Ended(PassEnding::Link link, std::string why = std::string()) {
    return {PassEnding::Source::kLink, link, std::move(why)};
}

// The run is over before its end (the front end stopped it, the link or the recorder ended
// it, or an entry's folder was not the target's any more): what was fetched is a partial
// image, and the front end is told why. failure: what of one entry ended it (its text is then
// the why).
PassStep Stopped(PassJob& job, const std::string& why, const PassFailure* failure = nullptr) {
    job.Stop();
    job.report().Stopped();
    if (failure)
        job.report().Fail(failure->entry, failure->what);
    else if (!why.empty())
        job.report().Fail(why);
    CloseImage(job, false);
    return {true, Ended(PassEnding::Link::kStopped, why)};
}

// The pass stopped between its fetches: as a cancelled fetch when the front end stopped it.
PassStep StoppedBetween(PassJob& job) {
    if (job.fetchCancel->cancelled())
        job.linkWhy = kFetchCancelled;
    return Stopped(job, job.linkWhy);
}

// Where a fetch's events go when the pass has no inbox.
class NoFetchEvents final : public IFetchEvents {
  public:
    void Status(const std::string&) override {}
    void Progress(const std::string&, std::uint32_t, std::uint32_t) override {}
    void DownloadBegins(int) override {}
    void Downloaded() override {}
};

// Entry i's image into its folder. The folders were looked at when the entry was prepared; a
// link put in their place since must not take the download (or the clearing of its leftovers)
// out of the target: the check is made again just before the first write, and refused says
// why.
FetchResult FetchEntry(PassJob& job, int i, const EntryImagePaths& p, std::string& refused) {
    const PassPlan& plan = job.plan();
    FetchRequest request;
    request.image.nTargetType = plan.targetType();
    request.image.nDateType = plan.host.dateType;
    request.image.nSlot = i;
    request.image.entry = plan.entries[static_cast<std::size_t>(i)];
    request.folder = paths::EntryDestFolder(p.imageRoot, p.entry, p.day);
    request.tempData = std::string(kNetTempRoot) + "\\" + p.entry;
    request.prepareFolder = [&plan, &p, &refused, folder = request.folder] {
        for (const std::string& f : {paths::EntryFolder(p.imageRoot, p.entry), folder,
                                     paths::EntryAudioFolder(p.imageRoot, p.entry, p.day)}) {
            if (platform::Outcome may = CheckWriteFolder(plan.host, f, p.imageRoot, true); !may) {
                refused = may.error().Said();
                return may;
            }
        }
        // What a killed download left half-written under temporary names.
        platform::RemoveLeftoverTempFiles(folder);
        platform::RemoveLeftoverTempFiles(folder + "Audio");
        return platform::Succeeded();
    };
    request.tap = ImageManifestLinkTap(job);
    request.cancel = job.fetchCancel;
    NoFetchEvents none;
    return job.recorder->FetchEntry(
        request, job.fetchEvents ? *job.fetchEvents : static_cast<IFetchEvents&>(none));
}

// What the remote recording lacks no other run can fetch: the entry is as whole as it will be,
// and says what it lacks as a local pass's entry does.
void EntryFetched(PassJob& job, int slot, const std::string& entry, const RemoteImageLacks& lacks) {
    for (const std::string& what : lacks.failures)
        job.report().Damaged(entry, what);
    const bool whole = lacks.failures.empty();
    job.report().EntryDone(slot, whole,
                           whole || !lacks.why.empty() ? lacks.why : lacks.failures.front(), true);
}

// The MP4 files of entry e (slot i), made from its image; the first that was not made, or "".
std::string MakeVideoOf(PassJob& job, int i, const ScheduleEntry& e, const EntryImagePaths& p) {
    platform::ScopedWriteTap tap(ImageManifestTap(job));
    const std::size_t failures = job.report().failureCount();
    MakeEntryVideo(job, e, p);
    if (job.report().failureCount() == failures)
        return std::string();
    const PassFailure failure = job.report().Failures()[failures];
    if (job.report().EntryComplete(i))
        job.report().EntryDone(i, false, failure.entry == p.entry ? failure.what : failure.Text());
    return failure.Text();
}

}  // namespace

PassStep LinkSource::Step(PassJob& job) {
    const PassPlan& plan = job.plan();
    if (!job.linked || !job.recorder)
        return {true, Ended(PassEnding::Link::kNoLink)};
    OpenImage(job);
    if (plan.includeViewer) {
        // The files written here (the viewer, each entry's information and map) are hashed too.
        platform::ScopedWriteTap tap(ImageManifestTap(job));
        WriteViewerIni(job);
        CopyViewerFiles(job);
    }
    std::string videoFailure;  // the first MP4 file of a fetched entry that was not made
    for (int i = 0; i < kScheduleSlots; ++i) {
        if (!job.running())
            return StoppedBetween(job);
        const ScheduleEntry& e = plan.entries[static_cast<std::size_t>(i)];
        if (!e.bUsed || !e.bPending)
            continue;
        // The image's hashing, should the target not have been there at the start, begins
        // with a later entry.
        BeginImageManifest(job);
        const EntryImagePaths p = MakeEntryImagePaths(plan, StartKey(e), EndKey(e));
        {
            platform::ScopedWriteTap tap(ImageManifestTap(job));
            // An entry whose folders lead out of the target is not fetched at all: nothing of
            // it may land where a link points.
            if (!PrepareEntryFolders(job, i, p))
                continue;
            const std::string dest = paths::EntryDestFolder(p.imageRoot, p.entry, p.day);
            CopyFilesToFolder(job, paths::WorkingInfoPath(plan.host.basePath, p.entry), dest);
            CopyFilesToFolder(job, paths::WorkingMinuteMapPath(plan.host.basePath, p.entry, p.day),
                              dest);
        }
        std::string refused;
        const FetchResult fetched = FetchEntry(job, i, p, refused);
        if (!refused.empty()) {
            const PassFailure failure{p.entry, "nothing was copied: " + refused};
            return Stopped(job, failure.Text(), &failure);
        }
        if (!fetched.fetched) {
            job.linkWhy = fetched.why;
            return Stopped(job, fetched.why);
        }
        EntryFetched(job, i, p.entry, fetched.lacks);
        // The entry is in the image now: its MP4 files are made from it there.
        if (plan.mp4 && job.running())
            if (std::string failed = MakeVideoOf(job, i, e, p); videoFailure.empty())
                videoFailure = std::move(failed);
    }
    if (!job.running())
        return StoppedBetween(job);
    const std::size_t failures = job.report().failureCount();
    CloseImage(job, true);
    if (job.report().failureCount() > failures) {
        // Files that arrived are gone from the target again, or never reached its device: not
        // a completed backup.
        return {true, Ended(PassEnding::Link::kLost, job.report().failures()[failures])};
    }
    // An image without the MP4 files it was asked for is not complete either.
    if (!videoFailure.empty())
        return {true, Ended(PassEnding::Link::kLost, videoFailure)};
    job.events().Progress(100);
    return {true, Ended(PassEnding::Link::kFetched)};
}

std::optional<PassEnding> LinkSource::Abandon(PassJob&) {
    // The pass is one step: it never waits between its entries.
    return std::nullopt;
}

}  // namespace backup
