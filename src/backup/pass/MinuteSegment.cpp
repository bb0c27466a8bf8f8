#include "backup/pass/MinuteSegment.h"

#include "backup/pass/CopyEngine.h"
#include "storage/MinuteCopy.h"

namespace {

// The minute segment name followed by "N.dat".
std::string Tail17(const std::string& path) {
    return path.size() > 17 ? path.substr(path.size() - 17) : path;
}

}  // namespace

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
