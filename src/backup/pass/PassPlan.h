#pragma once
// What one backup pass does, taken whole on the front end's thread when it starts: the host's
// settings, the target, the schedule's entries, the viewer choice and the texts the pass shows.
// The worker reads nothing else of the front end's state, so a host record, a click or a bus
// command during a pass changes the next pass and never the running one.
#include <string>

#include "backup/HostSettings.h"
#include "backup/exhibit/ExhibitFacts.h"
#include "records/ScheduleEntry.h"

namespace backup {

// Where the image goes; the numbers are those the target type has always had.
enum class TargetKind : int { kNone = 0, kDisc = 2, kFolder = 3 };

// The texts of the language file a pass writes into its status line and notices, looked up once.
struct PassTexts {
    std::string copying;       // after a file's name while it is copied
    std::string cannotRead;    // before a source that cannot be opened
    std::string cannotWrite;   // before a destination that cannot be made
    std::string folderFailed;  // the notice when a destination folder cannot be made
    std::string folderFailedCaption;
};

struct PassPlan {
    HostSettings host;
    TargetKind target = TargetKind::kNone;
    std::string targetText;  // the target folder (a drive path), or the writer's drive text
    ScheduleTable entries{};
    DWORD totalSize = 0;  // KB: what the progress's end stands for
    bool includeViewer = false;
    bool mp4 = false;                  // each entry gets its cameras' MP4 files
    bool manifest = true;              // off only to measure what the manifest costs
    exhibit::CaseDetails caseDetails;  // for the image's exhibit report
    PassTexts texts;

    int targetType() const { return static_cast<int>(target); }
};

}  // namespace backup
