#pragma once
// Where a pass puts its image, and what the image needs around its entries on the worker's
// side. A disc image is built in the staging folder, emptied before the first entry and handed
// to the writer once the pass has ended; a folder image goes straight into the target folder,
// whose volume is watched from the first entry (a stick taken away shows) and flushed after the
// last, so that the operator may take the stick away once told the backup is done.
#include <cstdint>
#include <string>

#include "backup/pass/BackupReport.h"
#include "backup/pass/PassPlan.h"
#include "platform/FileSystem.h"
#include "platform/VolumePin.h"

namespace backup {

class ImageSink {
  public:
    explicit ImageSink(const PassPlan& plan);

    TargetKind kind() const { return kind_; }
    // The image is flushed to its device at the end (a folder target): its files may start
    // for the device as soon as each is whole.
    bool flushed() const { return kind_ == TargetKind::kFolder; }
    // The image root as a drive path ending in its separator; "" without a target.
    const std::string& root() const { return root_; }
    // Before the first entry: the staging folder emptied (a disc holds the current schedule
    // only, never what a failed burn left of an earlier one), the target's volume noted.
    void Open();
    // The volume the image root was on when the sink opened (0 when unknown), and its host path.
    std::uint64_t volume() const { return volume_; }
    const std::string& rootHost() const { return rootHost_; }
    // After the last entry and the manifest, for a pass that was not stopped: a folder image
    // reaches its device, or the report says it did not and that none of its entries is whole.
    // The volume is let go: the job outlives its pass, and a handle on a stick keeps the
    // operator from ejecting it.
    void Close(BackupReport& report);
    // A pass stopped before its end: nothing to flush for an image that is not whole; the
    // volume is let go as by Close.
    void Abandon();

  private:
    TargetKind kind_;
    std::string target_;  // the target folder as the operator chose it
    std::string root_;
    std::uint64_t volume_ = 0;
    std::string rootHost_;
    platform::VolumeFlush flush_;
    platform::VolumePin pin_;  // no file of the image lands off the volume it began on
};

}  // namespace backup
