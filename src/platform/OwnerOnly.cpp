#include "platform/OwnerOnly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/PlainFileRead.h"

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

Expected<std::string> ReadSecretFile(const std::string& hostPath, SecretFile check,
                                     std::size_t limit) {
    const auto refused = [&](const std::string& what) {
        return Error{Error::Kind::kRefused, what, hostPath};
    };
    PlainFileRead file;
    if (Outcome opened = file.Open(hostPath); !opened)
        return opened.error();
    const struct stat& st = file.status();
    const unsigned mode = static_cast<unsigned>(st.st_mode);
    if (check == SecretFile::kOwnerOnly) {
        if (st.st_uid != ::geteuid())
            return refused("belongs to user " + std::to_string(st.st_uid) +
                           ", not to this program's user " + std::to_string(::geteuid()));
        if (mode & 0177)
            return refused("may be read or changed by others (mode " + OctalMode(mode) +
                           "); make it 0600 (chmod 600) or stricter");
    } else if (mode & 0007) {
        return refused("may be read or changed by every user (mode " + OctalMode(mode) + ")");
    }
    return file.ReadAll(limit);
}

}  // namespace platform
