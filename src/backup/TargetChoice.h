#pragma once
// The storage target the operator chose, one owner: its kind, its drive and the text that names
// it, and for a disc whether one is in the writer and the speeds it can be written at.
#include <string>
#include <vector>

#include "backup/pass/PassPlan.h"

namespace backup {

// One write speed as offered: its text and the speed in KB/s it stands for (0: the writer's
// own).
struct WriteSpeedItem {
    std::string label;
    long data;
};

struct TargetChoice {
    TargetKind kind = TargetKind::kNone;
    int drive = 0;     // the drive's number, 0 = A:
    std::string text;  // a folder's drive path, or the writer as "D:\name (4482 MB)"; "" for none
    std::vector<WriteSpeedItem> writeSpeeds;
    bool discReady = false;  // a disc target with a disc in the writer

    bool IsDisc() const { return kind == TargetKind::kDisc; }
};

}  // namespace backup
