#include "backup/ShareService.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/CQuillonApp.h"
#include "backup/ShareServiceDirect.h"
#include "backup/ShareServiceHasher.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/PassPlanning.h"
#include "backup/schedule/EntrySize.h"
#include "backup/schedule/ReservedFolder.h"
#include "integrity/Sha256.h"
#include "platform/DrivePaths.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/TextCase.h"
#include "platform/WriteTap.h"
#include "storage/RecordedDays.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

// The server's working folder (for the entry's information and minute map files that the
// extraction copies) lies beside its images: "C:\NetBackupTemp\Reserved".
const std::string kServerBase = std::string(kNetTempRoot) + "\\";

// What the extraction tells its window: its status line is the item being made, and every
// copied file is a point at which a cancel is seen.
// Why `needBytes` more in the temporary folder would leave less of the disk free than keepFree
// of it; "" when they fit.
std::string RoomProblem(unsigned long long needBytes, double keepFree) {
    std::uint64_t free = 0, total = 0;
    if (!platform::GetDiskFreeSpaceExA(kNetTempRoot, &free, &total, nullptr))
        return "the recorder cannot tell the free space of its disk";
    const double kept = keepFree * static_cast<double>(total);
    if (static_cast<double>(free) - static_cast<double>(needBytes) >= kept)
        return std::string();
    const auto mb = [](double bytes) {
        return std::to_string(static_cast<long long>(bytes / 1e6));
    };
    return "the recorder's disk has too little free space for the image (" +
           mb(static_cast<double>(needBytes)) + " MB needed, " + mb(static_cast<double>(free)) +
           " MB free, " + mb(kept) + " MB kept free for the recording)";
}

std::string BytesAsMegabytes(unsigned long long bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

// What an image takes of the disk: its files but those served from the recordings.
unsigned long long ImageDiskBytes(const ShareService::Image& image) {
    unsigned long long bytes = 0;
    for (const ShareService::ImageFile& f : image.files)
        if (f.source.empty())
            bytes += static_cast<unsigned long long>(f.size);
    return bytes;
}

// An image's build as the server follows it: each item is reported to the requester, and the
// build stops when the requester cancels or the recording's disk runs short of room.
class BuildEvents : public backup::IPassEvents {
  public:
    BuildEvents(const ShareService::Progress& onItem, const std::atomic<bool>& cancel,
                double keepFree)
        : progress_(onItem), cancel_(cancel), keepFree_(keepFree) {}
    void Attach(backup::PassJob* job) { job_ = job; }
    void Started() override {}
    void Status(const std::string& text) override {
        if (!job_)
            return;
        // The recording fills the same disk while the image grows: every file looks again.
        if (room_.empty())
            room_ = RoomProblem(0, keepFree_);
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
    const ShareService::Progress& progress_;
    const std::atomic<bool>& cancel_;
    const double keepFree_;
    std::string room_;
    backup::PassJob* job_ = nullptr;
};

bool Digits(const char* field, std::size_t room, std::size_t count) {
    const std::size_t n = strnlen(field, room);
    if (n != count)
        return false;
    return std::all_of(field, field + n, [](char c) { return c >= '0' && c <= '9'; });
}

// The recorder this server serves, as a host would describe it.
backup::HostSettings HostOf(const ShareService::Settings& settings) {
    backup::HostSettings host;
    host.storageRoot = settings.storageRoot;
    host.camCount = std::clamp(settings.cameras, 0, kMaxCameras);
    host.modelCode = settings.modelCode;
    host.basePath = kServerBase;
    return host;
}

// The selection of an entry's cameras: every camera of the recorder for an all-camera entry.
backup::DaySelection CamerasOf(const backup::HostSettings& host, const ScheduleEntry& entry) {
    backup::DaySelection sel;
    for (int c = 0; c < kMaxCameras; ++c)
        sel.camSel[c] = (entry.bAllCam ? c < host.camCount : entry.bCam[c] != 0) ? 1 : 0;
    return sel;
}

// The size the image of the entry will take, by the estimate the dialog shows for it.
unsigned long long EstimatedBytes(const backup::HostSettings& host, backup::DaySelection sel,
                                  const ScheduleEntry& entry, const std::string& startKey,
                                  const std::string& endKey) {
    const backup::DaySelection cams = CamerasOf(host, entry);
    std::memcpy(sel.camSel, cams.camSel, sizeof sel.camSel);
    const storage::EstimateTotals totals =
        EstimateEntry(host, sel, startKey.substr(0, 8), startKey.substr(8, 4), endKey.substr(8, 4));
    return totals.kb == 0 ? 0
                          : static_cast<unsigned long long>(storage::EntrySizeKB(totals)) * 1024;
}

}  // namespace

ShareService::ShareService(Settings settings) : settings_(std::move(settings)) {
    // Images of clients that never came back, and the working folder of a killed build.
    std::error_code ec;
    const std::string root = platform::ResolvePath(kNetTempRoot);
    for (const auto& e : fs::directory_iterator(root, ec)) {
        const std::string name = e.path().filename().string();
        if (IsEntryString(name) || name == "Reserved")
            platform::DeleteTree(kServerBase + name);
    }
}

ShareService::~ShareService() = default;

std::vector<std::string> ShareService::RecordedDays() const {
    return storage::ListRecordedDays(settings_.storageRoot);
}

_INDEXREPLY ShareService::IndexReply(const std::string& day) {
    _INDEXREPLY reply;
    std::memset(&reply, 0, sizeof reply);
    if (day.size() != 8 || !Digits(day.c_str(), 9, 8))
        return reply;
    backup::DaySelection sel;
    reply.bFound = ScanRecordedDay(HostOf(settings_), sel, day) ? 1 : 0;
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
    if (!Digits(request.szDay, sizeof request.szDay, 8) ||
        !Digits(request.szStart, sizeof request.szStart, 4) ||
        !Digits(request.szEnd, sizeof request.szEnd, 4))
        return reply;  // size 0: nothing to back up
    backup::HostSettings host = HostOf(settings_);
    host.camCount = static_cast<int>(std::min<DWORD>(request.nCamCount, kMaxCameras));
    backup::DaySelection sel;
    std::memcpy(sel.hourHasRec, request.bHourHasRec, sizeof sel.hourHasRec);
    std::memcpy(sel.minuteHasRec, request.bMinuteHasRec, sizeof sel.minuteHasRec);
    for (int c = 0; c < kMaxCameras; ++c)
        sel.camSel[c] = request.bCamSel[c] ? 1 : 0;
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
    Image image;
    const int slot = request.nSlot;
    ScheduleEntry entry = request.entry;
    const std::string startKey = StartKey(entry), endKey = EndKey(entry);
    if (slot < 0 || slot >= kScheduleSlots || !Digits(entry.szStart, sizeof entry.szStart, 12) ||
        !Digits(entry.szEnd, sizeof entry.szEnd, 12) || startKey.compare(0, 8, endKey, 0, 8) != 0 ||
        startKey > endKey) {
        image.problem = "the image request does not describe an entry of one day";
        return image;
    }
    RemoveAbandonedImages();
    // The image is a pass of a plan of its own: the entry into the server's temporary folder.
    backup::PassPlan plan;
    plan.host = HostOf(settings_);
    plan.host.dateType = std::clamp(request.nDateType, 0, 8);
    plan.target = backup::TargetKind::kFolder;
    plan.targetText = kNetTempRoot;
    entry.bUsed = 1;
    plan.entries[static_cast<std::size_t>(slot)] = entry;
    plan.totalSize = entry.nSize;
    plan.texts = PassTextsOf(CQuillonApp());
    const backup::HostSettings& host = plan.host;

    const std::string day = startKey.substr(0, 8);
    const EntryImagePaths paths = MakeEntryImagePaths(plan, startKey, endKey);
    image.entry = paths.entry;
    if (!IsEntryString(paths.entry)) {
        image.problem = "the image request does not describe an entry of one day";
        return image;
    }
    const std::string imageFolder = kServerBase + paths.entry;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        const auto now = std::chrono::steady_clock::now();
        for (const Built& b : built_) {
            // A client asks for an entry again only when it lost what it had: its own image is
            // left behind, whoever else's is not.
            const bool ownLeftBehind = !owner.empty() && b.owner == owner;
            if (b.image.entry == paths.entry && now - b.touched < settings_.abandonAfter &&
                !ownLeftBehind) {
                image.problem = "another client is fetching " + paths.entry +
                                " from this recorder; try again when it has finished";
                image.entry.clear();  // not this request's to remove
                return image;
            }
        }
        built_.erase(std::remove_if(built_.begin(), built_.end(),
                                    [&](const Built& b) { return b.image.entry == paths.entry; }),
                     built_.end());
    }
    storage::DeleteFolderTree(imageFolder);  // an older image of the same entry, left behind

    // The extraction copies the entry's information and minute map files from the working
    // folder, as for a local entry; the requester keeps its own, so they are made here anew.
    const std::string working = paths::WorkingFolder(host.basePath);
    const std::string entryFolder = working + "\\" + paths.entry;
    platform::CreateDirectory(kNetTempRoot);
    platform::CreateDirectory(working);
    platform::CreateDirectory(entryFolder);
    backup::DaySelection sel;
    ScanRecordedDay(host, sel, day);
    const std::string room = MakeRoom(EstimatedBytes(host, sel, entry, startKey, endKey));
    if (!room.empty()) {
        storage::DeleteFolderTree(entryFolder);
        image.problem = room;
        return image;
    }
    BuildMinuteMap(plan.entries, slot, sel.recMap, sel.selMap);
    // An entry whose image is the recorder's own files needs no copy of them.
    if (entry.bAllCam) {
        const auto direct =
            DirectEntryFiles(host, plan.entries[static_cast<std::size_t>(slot)], paths, sel.selMap);
        if (direct && ListDirect(image, *direct, progress, cancel, ready, owner)) {
            storage::DeleteFolderTree(entryFolder);
            return image;
        }
    }
    BackupInfoRecord info{};
    if (!WriteNewEntryInfo(host, entryFolder, EntryRangeKey(paths.entry), info) ||
        !SaveMinuteMap(sel, working, paths.entry, day)) {
        storage::DeleteFolderTree(entryFolder);
        image.problem = "the server could not write its working folder " + working;
        return image;
    }
    std::atomic<BOOL> running{cancel ? 0 : 1};
    BackupReport report;
    BuildEvents events(progress, cancel, settings_.keepFree);
    backup::PassJob job(plan, events, report, running);
    events.Attach(&job);
    // The requester's own copies of these lie in its download folder already.
    auto requesters = [&day](const std::string& name) {
        return platform::EqualIgnoringCase(name, "BackupInfo.dat") ||
               platform::EqualIgnoringCase(name, day + ".dat");
    };
    const std::string dayFolder =
        platform::ResolvePath(paths::EntryDayFolder(kServerBase, paths.entry, day));
    {
        // Listed while it is built, so that the files ready so far can be fetched.
        std::lock_guard<std::mutex> lock(listMutex_);
        Built building{Image{}, dayFolder, std::chrono::steady_clock::now(), owner};
        building.image.entry = paths.entry;
        built_.push_back(std::move(building));
    }
    auto fail = [&](const std::string& problem) {
        {
            std::lock_guard<std::mutex> lock(listMutex_);
            Unlist(paths.entry);
        }
        storage::DeleteFolderTree(imageFolder);
        image.files.clear();
        image.problem = problem;
        return image;
    };
    // Each file is hashed as it is written, so that the requester can tell the bytes that
    // reach it from those the recorder wrote, whatever lies between.
    ShareServiceHasher hasher(
        dayFolder,
        [&](const std::string& name, const integrity::FileDigest& digest) {
            if (requesters(name))
                return;
            const ImageFile file{name, digest.length, digest.hex, std::string(), digest.id};
            {
                std::lock_guard<std::mutex> lock(listMutex_);
                for (Built& b : built_) {
                    if (b.image.entry != paths.entry)
                        continue;
                    auto& files = b.image.files;
                    std::erase_if(files, [&](const ImageFile& f) { return f.name == name; });
                    // What a direct listing announced before it gave up is served from the
                    // recordings until here; from now on it is the copy's.
                    if (b.hostFolder == dayFolder)
                        files.push_back(file);
                }
            }
            if (ready)
                ready(paths.entry, file);
        },
        [&](const std::string& name) {
            {
                std::lock_guard<std::mutex> lock(listMutex_);
                for (Built& b : built_)
                    if (b.image.entry == paths.entry)
                        std::erase_if(b.image.files,
                                      [&](const ImageFile& f) { return f.name == name; });
            }
            if (withdrawn)
                withdrawn(paths.entry, name);
        });
    if (job.running()) {
        platform::ScopedWriteTap tap(&hasher);
        if (entry.bAllCam)
            AllCameraMakeFile(job, slot, startKey, endKey);
        else
            SelectCameraMakeFile(job, slot, startKey, endKey);
    }
    const ShareServiceHasher::Result hashed = hasher.Finish();
    storage::DeleteFolderTree(entryFolder);
    image.failures = report.failures();
    image.cancelled = !job.running() || cancel;
    if (!events.room().empty()) {
        image.cancelled = false;
        return fail(events.room());
    }
    if (image.cancelled)
        return fail("the image was cancelled");
    if (!image.failures.empty() && !report.OnlyRecordingDamaged()) {
        // An image that lacks what another build could copy is no backup of the entry: the
        // requester must not be told it was made.
        std::string problem =
            "the recorder could not copy all of the entry: " + image.failures.front();
        if (image.failures.size() > 1)
            problem += " (and " + std::to_string(image.failures.size() - 1) + " more)";
        return fail(problem);
    }

    std::error_code ec;
    for (fs::recursive_directory_iterator it(dayFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        const std::string name = fs::relative(it->path(), dayFolder, ec).generic_string();
        if (ec || requesters(name))
            continue;
        const long long size = static_cast<long long>(it->file_size(ec));
        const auto digest = hashed.files.find(name);
        if (digest == hashed.files.end() || digest->second.length != size)
            return fail("the image's file " + name + " was not hashed as it was written");
        image.files.push_back(
            ImageFile{name, size, digest->second.hex, std::string(), digest->second.id});
    }
    if (ec)
        return fail("the built image could not be listed: " + ec.message());
    // What the recording itself lacks, no build can copy: the image holds the rest, and the
    // requester is told what it lacks, as a local pass tells its operator.
    const std::string prefix = paths.entry + ": ";
    if (!image.failures.empty())
        image.why = report.Entry(slot).why;
    for (std::string& what : image.failures)
        if (what.compare(0, prefix.size(), prefix) == 0)
            what.erase(0, prefix.size());
    std::sort(image.files.begin(), image.files.end(),
              [](const ImageFile& a, const ImageFile& b) { return a.name < b.name; });
    std::lock_guard<std::mutex> lock(listMutex_);
    Unlist(paths.entry);
    built_.push_back(Built{image, dayFolder, std::chrono::steady_clock::now(), owner});
    return image;
}

std::string ShareService::MakeRoom(unsigned long long needBytes) {
    for (;;) {
        std::string problem, idle;
        {
            std::lock_guard<std::mutex> lock(listMutex_);
            const auto now = std::chrono::steady_clock::now();
            unsigned long long kept = 0;
            const Built* oldest = nullptr;
            for (const Built& b : built_) {
                kept += ImageDiskBytes(b.image);
                if (now - b.touched >= settings_.fetching &&
                    (!oldest || b.touched < oldest->touched))
                    oldest = &b;
            }
            std::uint64_t free = 0, total = 0;
            platform::GetDiskFreeSpaceExA(kNetTempRoot, &free, &total, nullptr);
            const double share = settings_.keptShare * static_cast<double>(total);
            if (built_.size() >= settings_.keptImages)
                problem = "the recorder keeps " + std::to_string(built_.size()) +
                          " images for clients already, the most it keeps at once, and they are "
                          "being fetched; try again when one has been fetched and removed";
            else if (!built_.empty() && static_cast<double>(kept + needBytes) > share)
                problem = "the recorder keeps " + BytesAsMegabytes(kept) +
                          " of images for clients already, and this one (" +
                          BytesAsMegabytes(needBytes) +
                          ") would take them past the share of its disk kept for images (" +
                          BytesAsMegabytes(static_cast<unsigned long long>(share)) +
                          "); try again when one has been fetched and removed";
            else
                problem = RoomProblem(needBytes, settings_.keepFree);
            if (problem.empty() || !oldest)
                return problem;
            // Not fetched from for a while, so taken as left behind: it goes before a new one is
            // refused.
            idle = oldest->image.entry;
            std::erase_if(built_, [&](const Built& b) { return b.image.entry == idle; });
        }
        if (IsEntryString(idle))
            storage::DeleteFolderTree(kServerBase + idle);
    }
}

void ShareService::Unlist(const std::string& entry) {
    std::erase_if(built_, [&](const Built& b) { return b.image.entry == entry; });
}

bool ShareService::ListDirect(Image& image, const std::vector<DirectFile>& files,
                              const Progress& progress, const std::atomic<bool>& cancel,
                              const FileReady& ready, const std::string& owner) {
    const std::string entry = image.entry;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        Unlist(entry);
        Built listed{Image{}, std::string(), std::chrono::steady_clock::now(), owner};
        listed.image.entry = entry;
        built_.push_back(std::move(listed));
    }
    auto unlist = [&] {
        std::lock_guard<std::mutex> lock(listMutex_);
        Unlist(entry);
    };
    std::vector<ImageFile> hashed;
    std::vector<char> buffer(std::size_t{1} << 20);
    unsigned long long doneBytes = 0, totalBytes = 0;
    for (const DirectFile& f : files)
        totalBytes += static_cast<unsigned long long>(f.size);
    for (const DirectFile& f : files) {
        if (progress)
            progress(f.name, static_cast<std::uint32_t>(doneBytes / 1024),
                     static_cast<std::uint32_t>(totalBytes / 1024));
        if (cancel) {
            unlist();
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
        integrity::Sha256 sha;
        long long length = 0;
        for (long long n;
             (n = in.ReadAt(buffer.data(), buffer.size(), static_cast<std::uint64_t>(length))) > 0;
             length += n)
            sha.Update(buffer.data(), static_cast<std::size_t>(n));
        if (length != f.size || in.Length() != f.size)
            return false;
        doneBytes += static_cast<unsigned long long>(length);
        const ImageFile file{f.name, length, sha.HexFinal(), f.hostPath, in.Id()};
        {
            std::lock_guard<std::mutex> lock(listMutex_);
            for (Built& b : built_)
                if (b.image.entry == entry)
                    b.image.files.push_back(file);
        }
        if (ready)
            ready(entry, file);
        hashed.push_back(file);
    }
    std::sort(hashed.begin(), hashed.end(),
              [](const ImageFile& a, const ImageFile& b) { return a.name < b.name; });
    image.files = std::move(hashed);
    std::lock_guard<std::mutex> lock(listMutex_);
    Unlist(entry);
    built_.push_back(Built{image, std::string(), std::chrono::steady_clock::now(), owner});
    return true;
}

const ShareService::ImageFile* ShareService::Listed(const std::string& entry,
                                                    const std::string& name,
                                                    std::string* hostPath) {
    for (Built& b : built_) {
        if (b.image.entry != entry)
            continue;
        for (const ImageFile& f : b.image.files) {
            if (f.name == name) {
                b.touched = std::chrono::steady_clock::now();
                *hostPath = f.source.empty() ? b.hostFolder + "/" + name : f.source;
                return &f;
            }
        }
    }
    return nullptr;
}

std::string ShareService::ImageFilePath(const std::string& entry, const std::string& name) {
    std::lock_guard<std::mutex> lock(listMutex_);
    std::string host;
    return Listed(entry, name, &host) ? host : std::string();
}

ShareService::Opened ShareService::OpenImageFile(const std::string& entry, const std::string& name,
                                                 platform::File& file) {
    std::string host;
    long long size = 0;
    platform::FileId id;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        const ImageFile* listed = Listed(entry, name, &host);
        if (!listed)
            return Opened::kUnlisted;
        size = listed->size;
        id = listed->id;
    }
    // The recordings are the recorder's: a file there may be replaced, or a link put in its
    // place, after it was hashed. What is open is checked, not what the name leads to now.
    if (!file.OpenResolved(host, platform::File::kReadNoLink) || file.Length() != size ||
        (id != platform::FileId{} && file.Id() != id)) {
        file.Close();
        return Opened::kChanged;
    }
    return Opened::kOpen;
}

bool ShareService::DeleteTemp(const std::string& path) {
    const std::string prefix = kServerBase;
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string entry = path.substr(prefix.size());
    if (!IsEntryString(entry))
        return false;
    bool listed = false;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        listed = std::erase_if(built_, [&](const Built& b) { return b.image.entry == entry; }) > 0;
    }
    std::lock_guard<std::mutex> build(buildMutex_);
    // An image served from the recordings has no folder of its own.
    return platform::DeleteTree(path) || (listed && !platform::IsDirectory(path));
}

void ShareService::Touch(const std::string& entry) {
    std::lock_guard<std::mutex> lock(listMutex_);
    for (Built& b : built_)
        if (b.image.entry == entry)
            b.touched = std::chrono::steady_clock::now();
}

void ShareService::RemoveAbandoned() {
    std::unique_lock<std::mutex> build(buildMutex_, std::try_to_lock);
    if (build.owns_lock())
        RemoveAbandonedImages();
}

void ShareService::RemoveAbandonedImages() {
    std::vector<std::string> gone;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        const auto now = std::chrono::steady_clock::now();
        for (const Built& b : built_)
            if (now - b.touched >= settings_.abandonAfter)
                gone.push_back(b.image.entry);
        built_.erase(std::remove_if(
                         built_.begin(), built_.end(),
                         [&](const Built& b) { return now - b.touched >= settings_.abandonAfter; }),
                     built_.end());
    }
    // Every name in the list passed IsEntryString: none leads out of the temporary root.
    for (const std::string& entry : gone)
        if (IsEntryString(entry))
            storage::DeleteFolderTree(kServerBase + entry);
}
