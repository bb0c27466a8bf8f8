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

bool PlainFileRead::Open(const std::string& hostPath, std::string& why) {
    fd_ = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        missing_ = errno == ENOENT;
        if (missing_)
            why = "does not exist";
        else if (errno == ELOOP)
            why = "is a symbolic link; give the file it leads to";
        else
            why = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    if (::fstat(fd_, &st_) != 0) {
        why = std::string("cannot be looked at (") + std::strerror(errno) + ")";
        return false;
    }
    if (!S_ISREG(st_.st_mode)) {
        why = "is not a regular file";
        return false;
    }
    return true;
}

bool PlainFileRead::ReadAll(std::size_t limit, std::string& out, std::string& why) {
    out.clear();
    const auto tooLong = [&] {
        out.clear();
        why = "is longer than " + std::to_string(limit) + " bytes";
        return false;
    };
    if (st_.st_size < 0 || static_cast<unsigned long long>(st_.st_size) > limit)
        return tooLong();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            out.clear();
            why = std::string("cannot be read (") + std::strerror(errno) + ")";
            return false;
        }
        if (n == 0)
            return true;
        // It may grow while it is read.
        if (out.size() + static_cast<std::size_t>(n) > limit)
            return tooLong();
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string OctalMode(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

}  // namespace platform
