#pragma once
// The disc writer as the front end's session holds it, one owner: the writer (when this front
// end has one), the check of the disc being written, and whether it is busy.
#include <atomic>
#include <memory>

#include "platform/Types.h"

class CDVDWriterPro2;
class IWrittenDiscCheck;

namespace backup {

struct DiscState {
    CDVDWriterPro2* writer = nullptr;
    std::shared_ptr<IWrittenDiscCheck> readBack;  // of the disc being written
    std::atomic<BOOL> writing{0};                 // read by the worker and the window's timer
    BOOL erasing = 0;
};

}  // namespace backup
