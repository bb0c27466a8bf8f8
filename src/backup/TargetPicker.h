#pragma once
// Where the image goes: a folder, or the disc in a writer drive with its space, the offer to
// erase it and its write speeds. It works on the target and the disc writer; of the schedule it
// reads the total the disc must take.
#include <string>
#include <vector>

#include "backup/CommandResult.h"
#include "backup/OperatorEvents.h"
#include "backup/OperatorPrompts.h"
#include "backup/TargetChoice.h"
#include "backup/disc/DiscState.h"
#include "backup/schedule/ScheduleState.h"

// How a disc target picks its writer: as the folder browser does, whichever drive was chosen
// (the last writer decides), or exactly the drive named.
enum class WriterChoice { kLastWriter, kNamedDrive };

namespace backup {

class TargetPicker {
  public:
    TargetPicker(TargetChoice& target, DiscState& disc, const ScheduleState& schedule,
                 IOperatorEvents& view, OperatorPrompts& prompts)
        : target_(target), disc_(disc), schedule_(schedule), view_(view), prompts_(prompts) {}
    TargetPicker(const TargetPicker&) = delete;
    TargetPicker& operator=(const TargetPicker&) = delete;

    // The target chosen in the folder browser (a drive path): kind by its drive; a folder, or
    // the writer drive with its disc's space, erase and speeds; the viewer option. Answers the key
    // it refused with, done when the target was taken.
    CommandResult ChooseStorageTarget(const std::string& folder,
                                      WriterChoice choice = WriterChoice::kLastWriter);
    // Selects the last writer drive in the writer's order that can be selected. The target text
    // is then the drive, its name and the disc's capacity, such as "D:\DVD writer (4482 MB)".
    bool FindWriterDrive();
    // Selects the writer drive of letter, and no other; the target text as above.
    bool FindNamedWriterDrive(char letter);
    // Selects a drive of the writer; the operator is told when it cannot be.
    bool SelectWriterDrive(long index);
    // The write speeds of the selected drive's medium, the fastest first.
    void FillWriteSpeedList();
    // A new disc image; false (the operator told) without a disc.
    bool PrepareDiscImage();
    // The disc's space: what the disc holds and what the schedule adds, in MB; not shown (and
    // erase not offered) when show is false or there is no writer.
    void TellDiscSpace(bool show);
    // The same, shown when the target's disc is ready.
    void RetellDiscSpace() { TellDiscSpace(target_.discReady != 0); }
    // "Erase" is offered for a rewritable disc only.
    void TellErasable() { view_.EraseOffered(disc_.drive().Medium().rewritable); }

  private:
    // The refusal of key, with what drives.ini says is wrong with the drive's section.
    CommandResult RefuseDrive(const std::string& key, char letter);
    void NameWriterTarget(const WriterDrive& writer);

    TargetChoice& target_;
    DiscState& disc_;
    const ScheduleState& schedule_;
    IOperatorEvents& view_;
    OperatorPrompts& prompts_;
};

}  // namespace backup

// No such drive, a CD/DVD drive, or any other drive (a folder target).
// The drive number goes into target.drive.
backup::TargetKind ClassifyTargetDrive(backup::TargetChoice& target, char driveLetter);
// The write speeds from the writer's maximum in KB/s: "16 x", "12 x", ... down by four steps to
// 8 x, then halving; "MAX" with 0 when the maximum is below one step.
std::vector<backup::WriteSpeedItem> WriteSpeedItems(long maxSpeed, long mediaType);
