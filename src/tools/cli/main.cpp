#include <cstdio>

#include "app/CHKLM.h"
#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

int main() {
    std::printf("quillon-cli %s\nprefix %s\nprogram folder %s\nrecordings %s\n", QUILLON_VERSION,
                platform::MachinePrefix().c_str(), platform::GetModulePath().c_str(),
                GetStoragePath().c_str());
    return 0;
}
