#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/DrivePaths.h"

namespace platform {

NamedLock::Attempt NamedLock::Lock(int fd, bool wait, const std::string& what,
                                   bool withoutLocksOk) {
    Attempt a;
    // flock belongs to the open file, so the kernel drops it when the process ends, however.
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        a.outcome = Outcome::kAcquired;
        a.lock.reset(new NamedLock(fd));
        return a;
    }
    const int err = errno;
    if (withoutLocksOk && (err == ENOLCK || err == EOPNOTSUPP)) {
        a.outcome = Outcome::kAcquired;
        a.lock.reset(new NamedLock(fd));
        return a;
    }
    if (err == EWOULDBLOCK) {
        a.outcome = Outcome::kHeldByOther;
        char buf[32] = {};
        if (::pread(fd, buf, sizeof buf - 1, 0) > 0)
            a.holderPid = std::atoi(buf);
    } else {
        a.outcome = Outcome::kUnusable;
        a.problem = what + " cannot be locked: " + std::strerror(err);
    }
    ::close(fd);
    return a;
}

NamedLock::Attempt NamedLock::Acquire(const std::string& name, bool wait) {
    const std::string dir = RuntimeDir();
    const std::string path = dir + "/" + name + ".lock";
    if (const platform::Outcome usable = CheckRuntimeDir(dir); !usable) {
        Attempt a;
        a.problem = usable.error().Said();
        return a;
    }
    // Never through a link: the file it leads to would be truncated for the holder's pid.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        Attempt a;
        a.problem = "the lock " + path + " cannot be used: " + std::strerror(errno);
        return a;
    }
    Attempt a = Lock(fd, wait, path, false);
    if (a.lock) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
            // The pid is a courtesy to the next one who asks; the lock holds without it.
        }
    }
    return a;
}

std::unique_ptr<NamedLock> NamedLock::TryAcquire(const std::string& name) {
    return Acquire(name, false).lock;
}

NamedLock::Attempt NamedLock::AcquireFolder(const std::string& hostFolder, bool wait) {
    const int fd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        Attempt a;
        a.problem = "the folder " + hostFolder + " cannot be used: " + std::strerror(errno);
        return a;
    }
    return Lock(fd, wait, hostFolder, true);
}

NamedLock::~NamedLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

}  // namespace platform
