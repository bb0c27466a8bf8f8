#include "platform/File.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/DrivePaths.h"
#include "platform/HostFiles.h"

namespace platform {

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool File::Open(const std::string& path, Mode mode) {
    Close();
    const std::string host =
        ResolvePath(path, mode == kRead || mode == kReadNoLink ? PathUse::kOpen : PathUse::kCreate);
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return OpenResolved(host, mode);
}

bool File::OpenResolved(const std::string& hostPath, Mode mode) {
    Close();
    // A read never waits on a pipe's other end: it opens at once and is then refused.
    const bool read = mode == kRead || mode == kReadNoLink;
    int flags = read                   ? (O_RDONLY | O_NONBLOCK)
                : mode == kCreateWrite ? (O_WRONLY | O_CREAT | O_TRUNC)
                                       : (O_WRONLY | O_CREAT | O_EXCL);
    if (mode == kReadNoLink)
        flags |= O_NOFOLLOW;
    fd_ = ::open(hostPath.c_str(), flags | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    struct stat st {};
    if (mode != kCreateNew && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        Close();
        SetLastError(ERROR_ACCESS_DENIED);  // a folder, a pipe or a device is no file
        return false;
    }
    if (read)
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return true;
}

File File::ReadingTwin() const {
    File twin;
    // Through the process's own view of its handles: the same file, whatever its name now.
    if (fd_ >= 0)
        twin.fd_ = ::open(("/proc/self/fd/" + std::to_string(fd_)).c_str(), O_RDONLY | O_CLOEXEC);
    return twin;
}

int File::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void File::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

long long File::Read(void* buffer, std::size_t count) {
    for (;;) {
        ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            SetLastError(ErrorFromErrno(errno));
            return -1;
        }
    }
}

long long File::ReadAt(void* buffer, std::size_t count, std::uint64_t offset) {
    return ReadAllAt(fd_, buffer, count, static_cast<long long>(offset));
}

long long File::SendTo(int socket, std::uint64_t offset, std::size_t count, bool* wouldBlock) {
    *wouldBlock = false;
    for (;;) {
        off_t at = static_cast<off_t>(offset);
        const ssize_t n = ::sendfile(socket, fd_, &at, count);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            *wouldBlock = true;
            return 0;
        }
        SetLastError(ErrorFromErrno(errno));
        return -1;
    }
}

void File::StartWriteback() {
    // Only a hint: a failure of the device shows in the flush that waits for it.
    if (fd_ >= 0)
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool File::Write(const void* buffer, std::size_t count) {
    const auto* p = static_cast<const char*>(buffer);
    for (std::size_t done = 0; done < count; done += kWriteSlice)
        if (!WriteAllTo(fd_, p + done, std::min(count - done, kWriteSlice)))
            return false;
    return true;
}

long long File::CopyAllTo(File& out) {
    enum class Means { kInSystem, kTransfer, kBuffer } means = Means::kInSystem;
    constexpr std::size_t kCall = std::size_t{1} << 30;
    std::vector<char> buffer;
    long long total = 0;
    for (;;) {
        ssize_t n;
        if (means == Means::kInSystem) {
            n = ::copy_file_range(fd_, nullptr, out.fd_, nullptr, kCall, 0);
            // Files on two kinds of volume, or kinds the system cannot copy between.
            if (n < 0 && total == 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                means = Means::kTransfer;
                continue;
            }
        } else if (means == Means::kTransfer) {
            n = ::sendfile(out.fd_, fd_, nullptr, kCall);
            if (n < 0 && total == 0 && (errno == EINVAL || errno == ENOSYS)) {
                means = Means::kBuffer;
                buffer.resize(std::size_t{1} << 20);
                continue;
            }
        } else {
            n = ::read(fd_, buffer.data(), buffer.size());
            if (n > 0 && !out.Write(buffer.data(), static_cast<std::size_t>(n)))
                return -1;
        }
        if (n == 0)
            return total;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(ErrorFromErrno(errno));
            return -1;
        }
        total += n;
    }
}

bool File::WriteAt(const void* buffer, std::size_t count, std::uint64_t offset) {
    const auto* p = static_cast<const char*>(buffer);
    for (std::size_t done = 0; done < count; done += kWriteSlice)
        if (!WriteAllTo(fd_, p + done, std::min(count - done, kWriteSlice),
                        static_cast<long long>(offset + done)))
            return false;
    return true;
}

bool File::Seek(std::uint64_t offset) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

long long File::Length() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return -1;
    return static_cast<long long>(st.st_size);
}

FileId File::Id() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return FileId{};
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileStamp File::Stamp() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return FileStamp{};
    return FileStamp{
        FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
        static_cast<long long>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

bool StatFile(const std::string& hostPath, long long& length, FileId& id) {
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    length = static_cast<long long>(st.st_size);
    id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

bool File::Sync() {
    if (::fdatasync(fd_) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& hostPath, std::string& out, long long limit) {
    return ReadHostFile(hostPath, out, limit);
}

}  // namespace platform
