#pragma once
// What the host (or the launch string) tells the tool about the recorder it serves: one value
// each, owned by the front end's context and copied whole into a pass's plan, so that a host
// record arriving during a pass changes the next pass, never the running one.
#include <string>

#include "platform/Types.h"

namespace backup {

struct HostSettings {
    std::string basePath;  // the recorder's program folder, ending in a separator
    std::string language = "eng";
    std::string serverAddress;
    std::string today;
    int modelCode = 0x670;
    int camCount = 64;
    int dateType = 0;
    int recorderKind = 4;
    int port = 0;
    int firstDrive = 3;
    DWORD driveMask = 0;
    DWORD recordDriveMask = 0;
    DWORD excludeDriveMask = 0;
    char cameraNames[64][31] = {};
    BOOL localMode = 1;
    // The recordings read; "" for the machine's own (the registry's storage path). A share
    // server serves a tree of its choice.
    std::string storageRoot;

    // The recordings this host's passes read.
    std::string StorageRoot() const;
};

}  // namespace backup
