#include "backup/pass/BackupPackage.h"
#include "backup/pass/EntrySource.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/ImageManifest.h"
#include "platform/WriteTap.h"

namespace backup {
namespace {

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

}  // namespace

PassStep RecorderSource::Step(PassJob& job) {
    job.report().Reset();
    job.doneSize = 0;
    job.events().Started();
    job.sink().Open();
    BeginImageManifest(job);
    {
        // Every file written below the image root on this thread is hashed as it is written.
        platform::ScopedWriteTap tap(ImageManifestTap(job));
        MakeEntries(job);
    }
    if (!job.running())
        job.report().Stopped();  // cancelled, or the target was lost
    FinishImageManifest(job);
    if (job.running())
        job.sink().Close(job.report());
    else
        job.sink().Abandon();
    job.events().Built(job.running());
    return {true, PassEnding{}};
}

}  // namespace backup
