#include "backup/pass/Extraction.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/CHKLM.h"
#include "backup/exhibit/PassClock.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/WriteGuard.h"
#include "platform/AtomicFile.h"
#include "platform/FolderIndex.h"
#include "platform/TextCase.h"
#include "platform/WriteTap.h"
#include "records/RecordChecks.h"
#include "storage/IndexSnapshot.h"
#include "storage/MinuteCopy.h"
#include "storage/PictureRows.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace {

std::string PairAt(const std::string& key, std::size_t pos) {
    return pos < key.size() ? key.substr(pos, 2) : std::string();
}

// The minute segment name followed by "N.dat".
std::string Tail17(const std::string& path) {
    return path.size() > 17 ? path.substr(path.size() - 17) : path;
}

}  // namespace

EntryImagePaths MakeEntryImagePaths(const backup::PassPlan& plan, const std::string& startKey,
                                    const std::string& endKey) {
    EntryImagePaths p;
    if (plan.target == backup::TargetKind::kDisc)
        platform::CreateDirectory(std::string(paths::kDiscImageRoot) + "\\");
    p.imageRoot = paths::ImageRoot(plan.targetType(), plan.targetText);
    p.day = startKey.substr(0, 8);
    p.entry =
        NormalizeLabelSeparators(MakeEntryString(p.day, PairAt(startKey, 8), PairAt(startKey, 10),
                                                 PairAt(endKey, 8), PairAt(endKey, 10)),
                                 plan.host.dateType);
    p.startHour = KeyNumberAt(startKey, 8);
    p.startMinute = KeyNumberAt(startKey, 10);
    p.endHour = KeyNumberAt(endKey, 8);
    p.endMinute = KeyNumberAt(endKey, 10);
    return p;
}

std::string CreateEntryFolders(const backup::HostSettings& host, const EntryImagePaths& p) {
    // Each folder is looked at before it is made or used: a link on the target must not lead
    // the image into the recordings or anywhere else outside the target.
    for (const std::string& folder : {paths::EntryFolder(p.imageRoot, p.entry),
                                      paths::EntryDayFolder(p.imageRoot, p.entry, p.day),
                                      paths::EntryAudioFolder(p.imageRoot, p.entry, p.day)}) {
        if (const platform::Outcome may = CheckWriteFolder(host, folder, p.imageRoot, true); !may)
            return may.error().Said();
        platform::CreateDirectory(folder);
    }
    return std::string();
}

bool PrepareEntryFolders(backup::PassJob& job, int slot, const EntryImagePaths& p) {
    const std::string problem = CreateEntryFolders(job.plan().host, p);
    if (problem.empty())
        return true;
    job.report().Fail(p.entry, "nothing was copied: " + problem);
    job.report().EntryDone(slot, false, "nothing was copied: " + problem);
    return false;
}

int CopyMinuteSegment(backup::PassJob& job, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why,
                      storage::RowsOutside* damaged, bool* inRecording) {
    return RebuildMinute(job, job.plan().entries[static_cast<std::size_t>(entryIndex)],
                         sourcePrefix, destPrefix, why, damaged, inRecording);
}

int RebuildMinute(backup::PassJob& job, const ScheduleEntry& entry, const std::string& sourcePrefix,
                  const std::string& destPrefix, std::string* why, storage::RowsOutside* damaged,
                  bool* inRecording) {
    const std::string destData = destPrefix + "N.dat";
    if (TargetLost(job, destData)) {
        if (why)
            *why = "the target is gone";
        return 0;
    }
    const storage::MinuteCopyResult r = storage::CopyMinuteSegment(
        CamerasOf(entry), sourcePrefix, destPrefix,
        [&] { job.events().Status(Tail17(destData) + " " + job.plan().texts.copying); });
    if (damaged)
        *damaged = r.leftOutByCamera;
    if (inRecording)
        *inRecording = r.recordingDamaged;
    if (r.destinationFailed)
        DestinationFailed(job, Tail17(destData) + ": " + r.why, r.error, destData);
    if (!r.result) {
        if (why)
            *why = r.why;
        return 0;
    }
    job.doneSize += static_cast<DWORD>(r.dataBytes / 1024);
    job.report().minutesRebuilt++;
    backup::UpdatePassProgress(job);
    return 1;
}

namespace {

enum class Kind { kAllCameras, kSelectedCameras };

std::string Clock(int hour, int minute) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d", hour, minute);
    return buf;
}

// What one entry's walk needs: its image paths, the recorder's folders (each listed once for
// the whole entry) and the model its audio is named by.
struct EntryWalk {
    EntryImagePaths p;
    std::string root;
    platform::FolderIndex dayFolder, audioFolder;
    int modelCode = 0;
    MinuteMapBlock map{};
    bool mapRebuilt = false;  // the working folder's map was damaged; this one is the day's
};

// The model the entry was added with (kept in its information file), so that a later backup
// names the audio as the recorder of that entry does. A damaged file is a failure of the entry.
int EntryModelCode(backup::PassJob& job, const std::string& entry) {
    const std::string path = paths::WorkingInfoPath(job.plan().host.basePath, entry);
    BackupInfoRecord info{};
    platform::File f;
    if (!f.Open(path, platform::File::kRead))
        return job.plan().host.modelCode;  // the closing copy reports the missing file
    const long long length = f.Length();
    std::string problem;
    if (length != static_cast<long long>(sizeof info) || f.ReadAt(&info, sizeof info, 0) != length)
        problem = "it holds " + std::to_string(length) + " bytes instead of " +
                  std::to_string(sizeof info);
    else
        problem = CheckEntryInfo(info, entry);
    if (problem.empty())
        return static_cast<int>(info.modelCode);
    job.report().Fail(entry, "the information file " + path + " is damaged (" + problem + ")");
    return job.plan().host.modelCode;
}

// The minutes that must be in the image: the entry's minute map, or, when that is damaged, the
// recorder's day map for the entry's range and cameras.
void LoadEntryMap(backup::PassJob& job, const ScheduleEntry& e, EntryWalk& w) {
    const std::string path =
        paths::WorkingMinuteMapPath(job.plan().host.basePath, w.p.entry, w.p.day);
    const storage::MapRead read = storage::ReadMinuteMapFile(path, w.map);
    if (!read.found || read.problem.empty())
        return;
    w.mapRebuilt = true;
    job.report().Fail(w.p.entry, "the minute map " + path + " is damaged (" + read.problem + ")");
    MinuteMapBlock day{};
    storage::ReadDayMap(paths::DayFolder(w.root, w.p.day), w.p.day, day);
    for (auto& b : day)
        b = b ? 1 : 0;
    ScheduleTable one{};
    one[0] = e;
    BuildMinuteMap(one, 0, day, w.map);
}

// Copies the minute's audio of the channels below channelLimit that belong to the entry.
// False when the backup was stopped.
bool CopyAudio(backup::PassJob& job, const ScheduleEntry& e, const EntryWalk& w, int hour,
               int minute, int channelLimit) {
    const std::string dest = paths::EntryAudioDest(w.p.imageRoot, w.p.entry, w.p.day);
    for (int c = 0; c < channelLimit; ++c) {
        if (!e.bCam[c])
            continue;
        platform::FindData audio;
        const std::string name = paths::SegmentName(w.p.day, hour, minute) +
                                 paths::AudioSuffix(w.modelCode) + std::to_string(c);
        if (w.audioFolder.Find(name, audio))
            CopyFoundFilesToFolder(job, {audio}, dest);
        backup::UpdatePassProgress(job);
        if (!job.running())
            return false;
    }
    return true;
}

// The recorder's two files of a minute, as the day folder's listing holds them.
struct MinuteFiles {
    const platform::FindData* dat = nullptr;
    const platform::FindData* idx = nullptr;
    std::vector<platform::FindData> all;
};

// A minute is its index and its data file together: "" when both are there, else which is not.
std::string FindMinuteFiles(const EntryWalk& w, int hour, int minute, MinuteFiles& f) {
    const std::string segment = paths::SegmentName(w.p.day, hour, minute);
    f.all = w.dayFolder.Match(segment + "N.*");
    for (const auto& found : f.all) {
        // One file of each name, the first in search order, as a folder without case has.
        if (!f.dat && platform::EqualIgnoringCase(found.name, segment + "N.dat"))
            f.dat = &found;
        if (!f.idx && platform::EqualIgnoringCase(found.name, segment + "N.idx"))
            f.idx = &found;
    }
    if (!f.dat && !f.idx)
        return "its files are missing";
    if (!f.idx)
        return "its index file is missing";
    if (!f.dat)
        return "its data file is missing";
    return std::string();
}

// Every camera of the entry's slot, for a minute rebuilt through its index.
ScheduleEntry EveryCamera(const backup::PassJob& job, int entryIndex) {
    ScheduleEntry every = job.plan().entries[static_cast<std::size_t>(entryIndex)];
    std::fill(std::begin(every.bCam), std::end(every.bCam), 1u);
    return every;
}

// The recorder's index and data file of a minute, copied whole. The data file first; the index
// under a read transaction, so that it is one committed state even while the recorder writes the
// minute; then, if the recorder added pictures meanwhile, the data file again, so that it holds
// every picture the copied index names. A transient journal beside them is no part of the minute.
// A minute whose index names pictures its data file does not hold is rebuilt through the index
// instead, as a selected-camera entry copies it: what can be read, with the rest counted in
// damaged.
bool CopyWholeMinute(backup::PassJob& job, int entryIndex, const EntryWalk& w, const MinuteFiles& f,
                     int hour, int minute, std::string& why, storage::RowsOutside& damaged,
                     bool& inRecording) {
    const std::string dest = paths::EntryDestFolder(w.p.imageRoot, w.p.entry, w.p.day);
    const std::string sourcePrefix = paths::MinutePrefix(w.root, w.p.day, hour, minute);
    const std::string destPrefix =
        paths::EntryMinutePrefix(w.p.imageRoot, w.p.entry, w.p.day, hour, minute);
    auto rebuild = [&] {
        return RebuildMinute(job, EveryCamera(job, entryIndex), sourcePrefix, destPrefix, &why,
                             &damaged, &inRecording) == 1;
    };
    // Pages waiting in a write-ahead log are no part of the index file's bytes.
    if (platform::FileLength(f.idx->hostPath + "-wal") > 0)
        return rebuild();
    if (!CopyFoundFilesToFolder(job, {*f.dat}, dest))
        return false;
    {
        storage::IndexSnapshot snapshot(f.idx->hostPath);
        if (!snapshot.held()) {
            inRecording = !snapshot.damage().empty();
            why = inRecording ? snapshot.damage()
                              : "its index is being written or was left half-written by the "
                                "recorder";
            platform::WithdrawWrittenFile(dest + f.dat->name);
            return false;
        }
        if (!CopyFoundFilesToFolder(job, {*f.idx}, dest))
            return false;
        for (int again = 0; again < 3; ++again) {
            const long long now = platform::FileLength(f.dat->hostPath);
            if (now < 0 || now == platform::FileLength(dest + f.dat->name))
                break;
            if (!CopyFileOverlapped(job, f.dat->hostPath, dest + f.dat->name))
                return false;
        }
        if (snapshot.RowsOutsideData(platform::FileLength(dest + f.dat->name)).empty())
            return true;
    }
    platform::WithdrawWrittenFile(dest + f.idx->name);
    platform::WithdrawWrittenFile(dest + f.dat->name);
    return rebuild();
}

std::string CameraClock(int camera, int hour, int minute) {
    return (camera < 0 ? std::string("an unknown camera")
                       : "camera " + std::to_string(camera + 1)) +
           ", " + Clock(hour, minute);
}

// What an entry lacks, as the end of the pass names it: the first of its problems.
struct EntryProblems {
    std::string first;
    bool recordingDamaged = false;
    void Note(const std::string& why, bool fromRecording) {
        if (!first.empty())
            return;
        first = why;
        recordingDamaged = fromRecording;
    }
};

}  // namespace

bool MakeEntryVideo(backup::PassJob& job, const ScheduleEntry& e, const EntryImagePaths& p) {
    if (!job.video) {
        job.report().Fail(p.entry,
                          "its MP4 files were asked for, but this program cannot "
                          "make them");
        return job.running();
    }
    job.events().Status("[" + p.entry + "] MP4");
    ports::IEntryVideo::Request request;
    request.imageRoot = p.imageRoot.substr(0, p.imageRoot.size() - 1);
    request.entry = p.entry;
    if (!e.bAllCam)
        for (int c = 0; c < kMaxCameras; ++c)
            if (e.bCam[c])
                request.cameras.push_back(c);
    request.stopped = [&job] { return !job.running(); };
    request.tap = platform::CurrentWriteTap();
    request.clock = exhibit::MeasuredOf(exhibit::PassClock(job));
    const ports::IEntryVideo::Made made = job.video->MakeEntryVideo(request);
    for (const std::string& problem : made.problems)
        job.report().Fail(p.entry, problem);
    job.NoteSignedParts(made.signedParts);
    return job.running();
}

namespace {

int MakeEntry(backup::PassJob& job, int entryIndex, const std::string& startKey,
              const std::string& endKey, Kind kind) {
    const std::size_t failuresBefore = job.report().failureCount();
    const std::size_t damagedBefore = job.report().damagedCount();
    EntryProblems problems;
    EntryWalk w;
    w.p = MakeEntryImagePaths(job.plan(), startKey, endKey);
    if (const std::string problem = CreateEntryFolders(job.plan().host, w.p); !problem.empty()) {
        job.report().Fail(w.p.entry, "nothing was copied: " + problem);
        job.report().EntryDone(entryIndex, false, "nothing was copied: " + problem);
        return 1;
    }
    // What a killed run left half-written under temporary names.
    platform::RemoveLeftoverTempFiles(paths::EntryDayFolder(w.p.imageRoot, w.p.entry, w.p.day));
    platform::RemoveLeftoverTempFiles(paths::EntryAudioFolder(w.p.imageRoot, w.p.entry, w.p.day));
    const ScheduleEntry& e = job.plan().entries[static_cast<std::size_t>(entryIndex)];
    w.root = job.plan().host.StorageRoot();
    w.dayFolder = platform::FolderIndex(paths::DayFolder(w.root, w.p.day));
    w.audioFolder = platform::FolderIndex(paths::DayFolder(w.root, w.p.day) + "\\Audio");
    w.modelCode = EntryModelCode(job, w.p.entry);
    LoadEntryMap(job, e, w);
    const std::string destFolder = paths::EntryDestFolder(w.p.imageRoot, w.p.entry, w.p.day);

    bool running = true;
    for (int h = w.p.startHour; running && h <= w.p.endHour && h < 24; ++h) {
        const int first = h == w.p.startHour ? w.p.startMinute : 0;
        const int last = h == w.p.endHour ? w.p.endMinute : 59;
        for (int m = first; running && m <= last && m < 60; ++m) {
            // A target taken away writes no error: what follows would land under its name on
            // another volume. One look per minute sees it.
            if (TargetLost(job)) {
                running = false;
                break;
            }
            const std::size_t failures = job.report().failureCount();
            MinuteFiles files;
            std::string why = FindMinuteFiles(w, h, m, files);
            const bool missing = !why.empty();
            storage::RowsOutside damaged;
            bool inRecording = missing;
            bool copied = false;
            if (missing) {
                // Half a minute is no minute: nothing of it is copied.
            } else if (kind == Kind::kSelectedCameras) {
                copied = CopyMinuteSegment(
                             job, entryIndex, paths::MinutePrefix(w.root, w.p.day, h, m),
                             paths::EntryMinutePrefix(w.p.imageRoot, w.p.entry, w.p.day, h, m),
                             &why, &damaged, &inRecording) == 1;
            } else {
                copied =
                    CopyWholeMinute(job, entryIndex, w, files, h, m, why, damaged, inRecording);
            }
            for (const auto& [camera, rows] : damaged) {
                const std::string where = CameraClock(camera, h, m);
                job.report().Damaged(
                    w.p.entry,
                    where + ": the recording is damaged: " + std::to_string(rows) +
                        (rows == 1 ? " picture" : " pictures") +
                        " of the index lie outside the data file and were left out; "
                        "the rest of the minute was copied",
                    h * 60 + m, camera);
                problems.Note(where + ": the recording is damaged", true);
            }
            if (copied) {
                backup::UpdatePassProgress(job);
                running =
                    CopyAudio(job, e, w, h, m, kind == Kind::kSelectedCameras ? 32 : kMaxCameras);
            } else if ((missing ? files.dat || files.idx || MinuteRecorded(w.map, h, m)
                                : MinuteRecorded(w.map, h, m)) &&
                       job.report().failureCount() == failures) {
                // A minute that cannot be copied is a failure when one of the entry's cameras
                // recorded in it; a minute without recording is not.
                const std::string what = "minute " + Clock(h, m) + " not copied: " + why;
                if (inRecording)
                    job.report().Damaged(w.p.entry, what, h * 60 + m);
                else
                    job.report().Fail(w.p.entry, what);
                problems.Note(what, inRecording);
            }
            if (!job.running())
                running = false;
        }
    }
    // Also after a stop: the image must say what it holds (unless it can hold nothing more).
    if (!job.report().targetLost()) {
        const std::string infoPath = paths::WorkingInfoPath(job.plan().host.basePath, w.p.entry);
        const std::string mapPath =
            paths::WorkingMinuteMapPath(job.plan().host.basePath, w.p.entry, w.p.day);
        if (!CopyFilesToFolder(job, infoPath, destFolder))
            job.report().Fail(w.p.entry, "the information file " + infoPath + " is missing");
        if (w.mapRebuilt) {
            // The image carries the map of what it holds, not the damaged one.
            const std::string root = w.p.imageRoot.substr(0, w.p.imageRoot.size() - 1);
            if (!storage::SaveMinuteMap(root, w.p.entry, w.p.day, w.map))
                job.report().Fail(w.p.entry, "the minute map could not be written into the image");
        } else if (!CopyFilesToFolder(job, mapPath, destFolder)) {
            job.report().Fail(w.p.entry, "the minute map file " + mapPath + " is missing");
        }
    }
    if (running && job.plan().mp4 && !job.report().targetLost())
        running = MakeEntryVideo(job, e, w.p);
    // The end of the pass shows the entry's name beside what it lacks.
    const std::vector<PassFailure> all = job.report().Failures();
    if (all.size() > failuresBefore)
        problems.Note(all[failuresBefore].entry == w.p.entry ? all[failuresBefore].what
                                                             : all[failuresBefore].Text(),
                      false);
    if (!running)
        problems.Note("the backup was stopped before this entry was complete", false);
    // The entry lacks only what its recording lacks when the pass went through all of it and
    // each of its failures lies in the recording; a target that filled up or a file that could
    // not be written after a damaged minute leaves it lacking what another pass writes.
    const bool onlyDamage =
        running && all.size() - failuresBefore == job.report().damagedCount() - damagedBefore;
    job.report().EntryDone(entryIndex, running && all.size() == failuresBefore, problems.first,
                           problems.recordingDamaged && onlyDamage);
    return 1;
}

}  // namespace

int AllCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                      const std::string& endKey) {
    return MakeEntry(job, entryIndex, startKey, endKey, Kind::kAllCameras);
}

int SelectCameraMakeFile(backup::PassJob& job, int entryIndex, const std::string& startKey,
                         const std::string& endKey) {
    return MakeEntry(job, entryIndex, startKey, endKey, Kind::kSelectedCameras);
}

namespace backup {

void MakeEntries(PassJob& job) {
    if (job.plan().includeViewer) {
        WriteViewerIni(job);
        CopyViewerFiles(job);
    }
    for (int i = 0; i < kScheduleSlots; ++i) {
        const ScheduleEntry& e = job.plan().entries[static_cast<std::size_t>(i)];
        if (e.bUsed) {
            if (e.bAllCam)
                AllCameraMakeFile(job, i, StartKey(e), EndKey(e));
            else
                SelectCameraMakeFile(job, i, StartKey(e), EndKey(e));
            job.made[static_cast<std::size_t>(i)] = true;
        }
        if (!job.running())
            break;
    }
}

}  // namespace backup
