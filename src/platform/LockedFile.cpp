#include "platform/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/HostFiles.h"

namespace platform {

std::unique_ptr<LockedFile> LockedFile::Take(const std::string& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return nullptr;
    // flock belongs to the open file: another open of the same file, even in this process, is
    // refused, and the lock goes with the process.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<LockedFile>(new LockedFile(fd));
}

LockedFile::~LockedFile() {
    ::close(fd_);
}

long long LockedFile::Length() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

long long LockedFile::ReadAt(void* bytes, std::size_t count, std::uint64_t offset) const {
    return ReadAllAt(fd_, bytes, count, static_cast<long long>(offset));
}

bool LockedFile::Empty() {
    return ::ftruncate(fd_, 0) == 0;
}

bool LockedFile::Sync() {
    return ::fsync(fd_) == 0;
}

}  // namespace platform
