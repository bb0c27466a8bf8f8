#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/DrivePaths.h"

namespace platform {

std::unique_ptr<NamedLock> NamedLock::TryAcquire(const std::string& name) {
    std::string path = RuntimeDir() + "/" + name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    // flock belongs to the open file, so the kernel drops it when the process ends, however.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<NamedLock>(new NamedLock(fd));
}

NamedLock::~NamedLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace platform
