#include "backup/server/ShareImageBuilder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/BackupReport.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/PassJob.h"
#include "backup/pass/PassPlanning.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/server/ShareRequest.h"
#include "backup/server/ShareServiceDirect.h"
#include "backup/server/ShareServiceHasher.h"
#include "integrity/Sha256.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TextCase.h"
#include "platform/WriteTap.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

// An image's build as the server follows it: each item is reported to the requester, and the
// build stops when the requester cancels or the recording's disk runs short of room.
class BuildEvents : public backup::IPassEvents {
  public:
    BuildEvents(const ShareImageBuilder::Progress& onItem, const std::atomic<bool>& cancel,
                const ShareImageStore& store)
        : progress_(onItem), cancel_(cancel), store_(store) {}
    void Attach(backup::PassJob* job) { job_ = job; }
    void Started() override {}
    void Status(const std::string& text) override {
        if (!job_)
            return;
        // The recording fills the same disk while the image grows: every file looks again.
        if (room_.empty())
            room_ = store_.RoomProblem(0);
        if (cancel_ || !room_.empty())
            job_->Stop();
        if (progress_)
            progress_(text, job_->doneSize, job_->plan().totalSize);
    }
    void Progress(int) override {}
    void Built(bool) override {}
    void Problem(const std::string&, const std::string&) override {}
    // Why the build was stopped for want of room ("" while it has room).
    const std::string& room() const { return room_; }

  private:
    const ShareImageBuilder::Progress& progress_;
    const std::atomic<bool>& cancel_;
    const ShareImageStore& store_;
    std::string room_;
    backup::PassJob* job_ = nullptr;
};

// The image is a pass of a plan of its own: the entry into the server's temporary folder.
backup::PassPlan PlanOf(const backup::HostSettings& host, const _BACKUPMAKEIMAGE& request) {
    backup::PassPlan plan;
    plan.host = host;
    plan.host.dateType = RequestedDateType(request);
    plan.target = backup::TargetKind::kFolder;
    plan.targetText = kNetTempRoot;
    ScheduleEntry entry = request.entry;
    entry.bUsed = 1;
    plan.entries[static_cast<std::size_t>(request.nSlot)] = entry;
    plan.totalSize = entry.nSize;
    plan.texts = PassTextsOf(CQuillonApp());
    return plan;
}

// The size the image of the entry will take, by the estimate the dialog shows for it.
unsigned long long EstimatedBytes(const backup::HostSettings& host, backup::DaySelection sel,
                                  const ScheduleEntry& entry) {
    const std::string startKey = StartKey(entry), endKey = EndKey(entry);
    const backup::DaySelection cams = EntryCameras(host, entry);
    std::memcpy(sel.camSel, cams.camSel, sizeof sel.camSel);
    const storage::EstimateTotals totals =
        EstimateEntry(host, sel, startKey.substr(0, 8), startKey.substr(8, 4), endKey.substr(8, 4));
    return totals.kb == 0 ? 0
                          : static_cast<unsigned long long>(storage::EntrySizeKB(totals)) * 1024;
}

// The requester's own copies of these lie in its download folder already.
bool RequestersOwn(const std::string& name, const std::string& day) {
    return platform::EqualIgnoringCase(name, "BackupInfo.dat") ||
           platform::EqualIgnoringCase(name, day + ".dat");
}

// The files of the built image below dayFolder, each as it was hashed while written; why not.
std::string ListBuilt(const std::string& dayFolder, const std::string& day,
                      const ShareServiceHasher::Result& hashed,
                      std::vector<ShareImageFile>& files) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dayFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        const std::string name = fs::relative(it->path(), dayFolder, ec).generic_string();
        if (ec || RequestersOwn(name, day))
            continue;
        const long long size = static_cast<long long>(it->file_size(ec));
        const auto digest = hashed.files.find(name);
        if (digest == hashed.files.end() || digest->second.length != size)
            return "the image's file " + name + " was not hashed as it was written";
        files.push_back(
            ShareImageFile{name, size, digest->second.hex, std::string(), digest->second.id});
    }
    if (ec)
        return "the built image could not be listed: " + ec.message();
    return std::string();
}

void SortByName(std::vector<ShareImageFile>& files) {
    std::sort(files.begin(), files.end(),
              [](const ShareImageFile& a, const ShareImageFile& b) { return a.name < b.name; });
}

using Requester = ShareImageBuilder::Requester;

// What a pass that copied an image leaves.
struct Copied {
    ShareServiceHasher::Result hashed;
    std::string room;      // why the pass was stopped for want of room
    bool stopped = false;  // the pass was stopped
};

// Copies the entry of plan's slot into dayFolder by a pass of its own, listing each file in
// the store as it becomes final.
Copied Copy(ShareImageStore& store, const backup::PassPlan& plan, int slot,
            const std::string& image, const std::string& dayFolder, const Requester& requester,
            BackupReport& report) {
    const ScheduleEntry& entry = plan.entries[static_cast<std::size_t>(slot)];
    const std::string startKey = StartKey(entry), endKey = EndKey(entry);
    const std::string day = startKey.substr(0, 8);
    std::atomic<BOOL> running{requester.cancel ? 0 : 1};
    BuildEvents events(requester.progress, requester.cancel, store);
    backup::PassJob job(plan, events, report, running);
    events.Attach(&job);
    // Each file is hashed as it is written, so that the requester can tell the bytes that
    // reach it from those the recorder wrote, whatever lies between.
    ShareServiceHasher hasher(
        dayFolder,
        [&](const std::string& name, const integrity::FileDigest& digest) {
            if (RequestersOwn(name, day))
                return;
            const ShareImageFile file{name, digest.length, digest.hex, std::string(), digest.id};
            // What a direct listing announced before it gave up is served from the recordings
            // until here; from now on it is the copy's.
            store.Replace(image, dayFolder, file);
            if (requester.ready)
                requester.ready(image, file);
        },
        [&](const std::string& name) {
            store.Withdraw(image, name);
            if (requester.withdrawn)
                requester.withdrawn(image, name);
        });
    if (job.running()) {
        platform::ScopedWriteTap tap(&hasher);
        if (entry.bAllCam)
            AllCameraMakeFile(job, slot, startKey, endKey);
        else
            SelectCameraMakeFile(job, slot, startKey, endKey);
    }
    Copied copied{hasher.Finish(), events.room(), !job.running()};
    return copied;
}

// The image leaves the list and the disk, with why.
ShareImage Fail(ShareImageStore& store, ShareImage image, const std::string& problem) {
    store.Unlist(image.entry);
    storage::DeleteFolderTree(ShareImageStore::Base() + image.entry);
    image.files.clear();
    image.problem = problem;
    return image;
}

// The copied image as the requester is answered: listed in the store when it holds all but
// what the recording lacks, otherwise removed with why.
ShareImage Finish(ShareImageStore& store, ShareImage image, int slot, const std::string& day,
                  const std::string& dayFolder, const Copied& copied, const BackupReport& report,
                  const Requester& requester) {
    image.failures = report.failures();
    image.cancelled = copied.stopped || requester.cancel;
    if (!copied.room.empty()) {
        image.cancelled = false;
        return Fail(store, std::move(image), copied.room);
    }
    if (image.cancelled)
        return Fail(store, std::move(image), "the image was cancelled");
    if (!image.failures.empty() && !report.OnlyRecordingDamaged()) {
        // An image that lacks what another build could copy is no backup of the entry: the
        // requester must not be told it was made.
        std::string problem =
            "the recorder could not copy all of the entry: " + image.failures.front();
        if (image.failures.size() > 1)
            problem += " (and " + std::to_string(image.failures.size() - 1) + " more)";
        return Fail(store, std::move(image), problem);
    }
    if (std::string problem = ListBuilt(dayFolder, day, copied.hashed, image.files);
        !problem.empty())
        return Fail(store, std::move(image), problem);
    // What the recording itself lacks, no build can copy: the image holds the rest, and the
    // requester is told what it lacks, as a local pass tells its operator.
    if (!image.failures.empty())
        image.why = report.Entry(slot).why;
    image.failures.clear();
    for (const PassFailure& f : report.Failures())
        image.failures.push_back(f.entry == image.entry ? f.what : f.Text());
    SortByName(image.files);
    store.Keep(image, dayFolder, requester.owner);
    return image;
}

// Lists the files served from the recordings, hashed one by one and listed as they are. False,
// with image untouched, when a file is no longer as it was found: the entry is then copied.
bool ListDirect(ShareImageStore& store, RecordingDigests& digests, ShareImage& image,
                const std::vector<DirectFile>& files, const Requester& requester) {
    const std::string entry = image.entry;
    store.Begin(entry, std::string(), requester.owner);
    std::vector<ShareImageFile> hashed;
    std::vector<char> buffer(std::size_t{1} << 20);
    unsigned long long doneBytes = 0, totalBytes = 0;
    for (const DirectFile& f : files)
        totalBytes += static_cast<unsigned long long>(f.size);
    for (const DirectFile& f : files) {
        if (requester.progress)
            requester.progress(f.name, static_cast<std::uint32_t>(doneBytes / 1024),
                               static_cast<std::uint32_t>(totalBytes / 1024));
        if (requester.cancel) {
            store.Unlist(entry);
            image.cancelled = true;
            image.problem = "the image was cancelled";
            return true;
        }
        // A file that is not as listed sends the entry to the copy. What was announced so far
        // stays served from here until the copy announces it again: a requester may have asked
        // for it already.
        platform::File in;
        if (!in.OpenResolved(f.hostPath, platform::File::kReadNoLink))
            return false;
        const platform::FileStamp stamp = in.Stamp();
        std::optional<std::string> digest = digests.Find(f.hostPath, stamp);
        long long length = stamp.length;
        if (!digest) {
            integrity::Sha256 sha;
            length = 0;
            for (long long n; (n = in.ReadAt(buffer.data(), buffer.size(),
                                             static_cast<std::uint64_t>(length))) > 0;
                 length += n)
                sha.Update(buffer.data(), static_cast<std::size_t>(n));
            digest = sha.HexFinal();
            digests.Remember(f.hostPath, stamp, in.Stamp(), *digest);
        }
        if (length != f.size || in.Length() != f.size)
            return false;
        doneBytes += static_cast<unsigned long long>(length);
        const ShareImageFile file{f.name, length, *digest, f.hostPath, stamp.id};
        store.Add(entry, file);
        if (requester.ready)
            requester.ready(entry, file);
        hashed.push_back(file);
    }
    SortByName(hashed);
    image.files = std::move(hashed);
    store.Keep(image, std::string(), requester.owner);
    return true;
}

// The image of the claimed entry, with the working folder made: served from the recordings
// when it can be, otherwise copied, in both cases when the store has room for it.
ShareImage Make(ShareImageStore& store, RecordingDigests& digests, ShareImage image,
                const backup::PassPlan& plan, int slot, const EntryImagePaths& paths,
                const std::string& working, const Requester& requester) {
    const ScheduleEntry& entry = plan.entries[static_cast<std::size_t>(slot)];
    backup::DaySelection sel;
    ScanRecordedDay(plan.host, sel, paths.day);
    image.problem = store.MakeRoom(EstimatedBytes(plan.host, sel, entry));
    if (!image.problem.empty())
        return image;
    BuildMinuteMap(plan.entries, slot, sel.recMap, sel.selMap);
    // An entry whose image is the recorder's own files needs no copy of them.
    if (entry.bAllCam) {
        const auto direct = DirectEntryFiles(plan.host, entry, paths, sel.selMap);
        if (direct && ListDirect(store, digests, image, *direct, requester))
            return image;
    }
    BackupInfoRecord info{};
    if (!WriteNewEntryInfo(plan.host, working + "\\" + paths.entry, EntryRangeKey(paths.entry),
                           info) ||
        !SaveMinuteMap(sel, working, paths.entry, paths.day)) {
        image.problem = "the server could not write its working folder " + working;
        return image;
    }
    const std::string dayFolder = platform::ResolvePath(
        paths::EntryDayFolder(ShareImageStore::Base(), paths.entry, paths.day));
    // Listed while it is built, so that the files ready so far can be fetched.
    store.Begin(paths.entry, dayFolder, requester.owner);
    BackupReport report;
    const Copied copied = Copy(store, plan, slot, paths.entry, dayFolder, requester, report);
    return Finish(store, std::move(image), slot, paths.day, dayFolder, copied, report, requester);
}

}  // namespace

ShareImageBuilder::ShareImageBuilder(backup::HostSettings host, ShareImageStore& store)
    : host_(std::move(host)), store_(store) {}

ShareImage ShareImageBuilder::Build(const _BACKUPMAKEIMAGE& request, const Requester& requester) {
    ShareImage image;
    image.problem = ImageRequestProblem(request);
    if (!image.problem.empty())
        return image;
    store_.RemoveAbandoned();
    const backup::PassPlan plan = PlanOf(host_, request);
    const ScheduleEntry& entry = plan.entries[static_cast<std::size_t>(request.nSlot)];
    const EntryImagePaths paths = MakeEntryImagePaths(plan, StartKey(entry), EndKey(entry));
    image.entry = paths.entry;
    if (!IsEntryString(paths.entry)) {
        image.problem = kNotAnEntryOfOneDay;
        return image;
    }
    image.problem = store_.Claim(paths.entry, requester.owner);
    if (!image.problem.empty()) {
        image.entry.clear();  // not this request's to remove
        return image;
    }
    // The extraction copies the entry's information and minute map files from the working
    // folder, as for a local entry; the requester keeps its own, so they are made here anew.
    const std::string working = paths::WorkingFolder(plan.host.basePath);
    const std::string entryFolder = working + "\\" + paths.entry;
    platform::CreateDirectory(kNetTempRoot);
    platform::CreateDirectory(working);
    platform::CreateDirectory(entryFolder);
    image =
        Make(store_, digests_, std::move(image), plan, request.nSlot, paths, working, requester);
    storage::DeleteFolderTree(entryFolder);
    return image;
}
