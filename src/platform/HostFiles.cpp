#include "platform/HostFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/Types.h"

namespace platform {
namespace {

std::atomic<unsigned> gCounter{0};

}  // namespace

bool WriteAllTo(int fd, const void* bytes, std::size_t count, long long offset) {
    const auto* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n =
            offset < 0 ? ::write(fd, p, count) : ::pwrite(fd, p, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
    return true;
}

long long ReadAllAt(int fd, void* bytes, std::size_t count, long long offset) {
    std::size_t done = 0;
    auto* p = static_cast<char*>(bytes);
    while (done < count) {
        const ssize_t n = ::pread(fd, p + done, count - done,
                                  static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(ErrorFromErrno(errno));
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

long long ReadHostFileHead(const std::string& hostPath, void* bytes, std::size_t count) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return kCannotOpen;
    struct stat st {};
    long long got = kNotAFile;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = std::max(0LL, ReadAllAt(fd, bytes, count, 0));
    ::close(fd);
    return got;
}

bool ReadHostFile(const std::string& hostPath, std::string& out, long long limit) {
    out.clear();
    // A read never waits on a pipe's other end: it opens at once and is then refused.
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);  // a folder, a pipe or a device is no file
        return false;
    }
    const long long length = static_cast<long long>(st.st_size);
    if (length > limit) {
        ::close(fd);
        return false;
    }
    out.resize(static_cast<std::size_t>(length));
    const long long done = ReadAllAt(fd, out.data(), out.size(), 0);
    ::close(fd);
    if (done != length) {
        out.clear();
        return false;
    }
    return true;
}

std::string TempNameBeside(const std::string& hostPath, const char* suffix) {
    const std::size_t cut = hostPath.find_last_of('/');
    const std::string folder = cut == std::string::npos ? "" : hostPath.substr(0, cut + 1);
    const std::string name = cut == std::string::npos ? hostPath : hostPath.substr(cut + 1);
    return folder + "." + name + "." + std::to_string(::getpid()) + "-" +
           std::to_string(gCounter++) + suffix;
}

bool ReplaceHostFile(const std::string& hostPath, const std::string& bytes) {
    // Two writers of one name each take a name of their own.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = TempNameBeside(hostPath, kTempFileSuffix);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            const int err = errno;
            SetLastError(ErrorFromErrno(err));
            if (err == EEXIST)
                continue;
            return false;
        }
        const bool written = WriteAllTo(fd, bytes.data(), bytes.size());
        ::close(fd);
        if (written && ::rename(temp.c_str(), hostPath.c_str()) == 0)
            return true;
        if (written)
            SetLastError(ErrorFromErrno(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return false;
}

}  // namespace platform
