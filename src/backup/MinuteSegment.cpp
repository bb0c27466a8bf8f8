#include "backup/MinuteSegment.h"

#include "backup/CopyEngine.h"
#include "storage/MinuteCopy.h"

namespace {

// The minute segment name followed by "N.dat".
std::string Tail17(const std::string& path) {
    return path.size() > 17 ? path.substr(path.size() - 17) : path;
}

}  // namespace

int CopyMinuteSegment(BackupContext& ctx, int entryIndex, const std::string& sourcePrefix,
                      const std::string& destPrefix, std::string* why,
                      storage::RowsOutside* damaged, bool* inRecording) {
    return RebuildMinute(ctx, ctx.m_Schedule[static_cast<std::size_t>(entryIndex)], sourcePrefix,
                         destPrefix, why, damaged, inRecording);
}

int RebuildMinute(BackupContext& ctx, const ScheduleEntry& entry, const std::string& sourcePrefix,
                  const std::string& destPrefix, std::string* why, storage::RowsOutside* damaged,
                  bool* inRecording) {
    const std::string destData = destPrefix + "N.dat";
    if (TargetLost(ctx, destData)) {
        if (why)
            *why = "the target is gone";
        return 0;
    }
    const storage::MinuteCopyResult r =
        storage::CopyMinuteSegment(CamerasOf(entry), sourcePrefix, destPrefix, [&] {
            ctx.SetStatusText(Tail17(destData) + " " + ctx.GetLanguageText("BACKUP", "M010034"));
        });
    if (damaged)
        *damaged = r.leftOutByCamera;
    if (inRecording)
        *inRecording = r.recordingDamaged;
    if (r.destinationFailed)
        DestinationFailed(ctx, Tail17(destData) + ": " + r.why, r.error, destData);
    if (!r.result) {
        if (why)
            *why = r.why;
        return 0;
    }
    ctx.m_nDoneSize += static_cast<DWORD>(r.dataBytes / 1024);
    ctx.m_report.minutesRebuilt++;
    UpdateBackupProgress(ctx);
    return 1;
}
