#include "platform/PlainFileRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

PlainFileRead::~PlainFileRead() {
    if (fd_ >= 0)
        ::close(fd_);
}

Outcome PlainFileRead::Open(const std::string& hostPath) {
    using Kind = Error::Kind;
    path_ = hostPath;
    fd_ = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT)
            return Error{Kind::kNotFound, "does not exist", hostPath};
        if (errno == ELOOP)
            return Error{Kind::kRefused, "is a symbolic link; give the file it leads to", hostPath};
        return Error{Kind::kFailed, std::string("cannot be opened (") + std::strerror(errno) + ")",
                     hostPath};
    }
    if (::fstat(fd_, &st_) != 0)
        return Error{Kind::kFailed,
                     std::string("cannot be looked at (") + std::strerror(errno) + ")", hostPath};
    if (!S_ISREG(st_.st_mode))
        return Error{Kind::kRefused, "is not a regular file", hostPath};
    return Succeeded();
}

Expected<std::string> PlainFileRead::ReadAll(std::size_t limit) {
    const Error tooLong{Error::Kind::kDamaged, "is longer than " + std::to_string(limit) + " bytes",
                        path_};
    if (st_.st_size < 0 || static_cast<unsigned long long>(st_.st_size) > limit)
        return tooLong;
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error{Error::Kind::kDamaged,
                         std::string("cannot be read (") + std::strerror(errno) + ")", path_};
        if (n == 0)
            return out;
        // It may grow while it is read.
        if (out.size() + static_cast<std::size_t>(n) > limit)
            return tooLong;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string OctalMode(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

}  // namespace platform
