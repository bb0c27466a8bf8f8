#pragma once
// The disc writer as the front end's session holds it, one owner: the writer (when this front
// end has one), the check of the disc being written, and whether it is busy.
#include <atomic>
#include <memory>

#include "backup/disc/DiscDrive.h"
#include "platform/Types.h"

namespace backup {

struct DiscState {
    CDVDWriterPro2* writer = nullptr;  // the front end's; the core drives it through drive()
    DiscDrive drive() const { return DiscDrive(writer); }
    std::shared_ptr<IWrittenDiscCheck> readBack;  // of the disc being written
    std::atomic<BOOL> writing{0};                 // read by the worker and the window's timer
    BOOL erasing = 0;
};

}  // namespace backup
