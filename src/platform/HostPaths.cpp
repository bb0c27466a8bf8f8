#include "platform/HostPaths.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

HostEntry LookAtHostPath(const std::string& hostPath) {
    HostEntry e;
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        return e;
    e.kind = S_ISREG(st.st_mode)   ? HostKind::kFile
             : S_ISDIR(st.st_mode) ? HostKind::kFolder
                                   : HostKind::kOther;
    e.size = static_cast<long long>(st.st_size);
    return e;
}

bool MayReadAndWrite(const std::string& hostPath) {
    return ::access(hostPath.c_str(), R_OK | W_OK) == 0;
}

}  // namespace platform
