#pragma once
// What a host path names, asked of the system as it stands: links are followed and no drive
// table or lookup without regard to case is involved (for those, see FileSystem.h).
#include <string>

namespace platform {

enum class HostKind {
    kNothing,  // nothing by that name, or a link that leads nowhere
    kFile,
    kFolder,
    kOther,  // a pipe, a device or a socket
};

struct HostEntry {
    HostKind kind = HostKind::kNothing;
    long long size = 0;  // of a file
};

HostEntry LookAtHostPath(const std::string& hostPath);

// True when this user may both read and write what hostPath names (a device among it).
bool MayReadAndWrite(const std::string& hostPath);

}  // namespace platform
