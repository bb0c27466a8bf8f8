#include "disc/DiscLibraries.h"

#include <mutex>

#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

namespace disc {
namespace {

std::mutex gLibraryMutex;
int gLibraryUsers = 0;

}  // namespace

bool AcquireLibraries() {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    if (gLibraryUsers == 0) {
        if (!burn::burn_initialize())
            return false;
        if (iso_init() < 0) {
            burn::burn_finish();
            return false;
        }
        // Messages are collected and turned into error codes, not printed. The debug ones too:
        // one of them tells when libburn's write thread has really ended.
        char queue[] = "DEBUG", print[] = "NEVER", prefix[] = "quillon: ";
        burn::burn_msgs_set_severities(queue, print, prefix);
        iso_set_msgs_severities(queue, print, prefix);
    }
    ++gLibraryUsers;
    return true;
}

void ReleaseLibraries() {
    std::lock_guard<std::mutex> lock(gLibraryMutex);
    if (--gLibraryUsers == 0) {
        iso_finish();
        burn::burn_finish();
    }
}

}  // namespace disc
