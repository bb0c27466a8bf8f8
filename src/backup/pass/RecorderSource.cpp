#include "backup/pass/EntrySource.h"
#include "backup/pass/Extraction.h"
#include "backup/pass/ImageManifest.h"
#include "platform/WriteTap.h"

namespace backup {
PassStep RecorderSource::Step(PassJob& job) {
    job.report().Reset();
    job.doneSize = 0;
    job.events().Started();
    OpenImage(job);
    {
        // Every file written below the image root on this thread is hashed as it is written.
        platform::ScopedWriteTap tap(ImageManifestTap(job));
        MakeEntries(job);
    }
    if (!job.running())
        job.report().Stopped();  // cancelled, or the target was lost
    CloseImage(job, job.running());
    job.events().Built(job.running());
    return {true, PassEnding{}};
}

}  // namespace backup
