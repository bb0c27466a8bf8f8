#include "backup/pass/ImageSink.h"

#include "platform/DrivePaths.h"
#include "storage/RecorderPaths.h"
#include "storage/WorkingFolder.h"

namespace backup {

ImageSink::ImageSink(const PassPlan& plan)
    : kind_(plan.target),
      target_(plan.targetText),
      root_(paths::ImageRoot(plan.targetType(), plan.targetText)) {}

void ImageSink::Open() {
    if (kind_ == TargetKind::kDisc) {
        storage::DeleteFolderTree(paths::kDiscImageRoot);
        platform::CreateDirectory(paths::kDiscImageRoot);
    }
    if (root_.empty())
        return;
    volume_ = platform::VolumeOf(root_);
    rootHost_ = platform::ResolvePath(root_);
    pin_ = platform::VolumePin(rootHost_, volume_);
    // Watched from now: a failure of the device while the system writes the image out in the
    // background reaches the flush at the end whoever else flushes the volume meanwhile.
    if (flushed())
        flush_ = platform::VolumeFlush(root_);
}

void ImageSink::Close(BackupReport& report) {
    const platform::Status reached = flushed() ? flush_.Flush() : platform::Status();
    Abandon();
    if (!reached)
        report.ImageLost(target_ + (reached.code() == platform::ERROR_DISK_FULL
                                        ? " could not be written: the target is full"
                                        : " could not be written to its device"));
}

void ImageSink::Abandon() {
    flush_ = platform::VolumeFlush();
    pin_ = platform::VolumePin();
}

}  // namespace backup
