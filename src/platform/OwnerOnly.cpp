#include "platform/OwnerOnly.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

namespace platform {

bool MakeOwnerOnlyFolder(const std::string& hostPath) {
    if (!CreateDirectoryTree(hostPath))
        return false;
    return ::chmod(hostPath.c_str(), 0700) == 0;
}

bool WriteOwnerOnlyFile(const std::string& hostPath, const std::string& bytes) {
    struct stat st;
    if (::lstat(hostPath.c_str(), &st) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    AtomicFile f;
    // The secret is written only once nobody else can read the file.
    if (!f.Create(hostPath) || ::chmod(f.tempHostPath().c_str(), 0600) != 0)
        return false;
    return f.Write(bytes.data(), bytes.size()) && f.Commit(true);
}

int FileMode(const std::string& hostPath) {
    struct stat st;
    if (::lstat(hostPath.c_str(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

}  // namespace platform
