#include "platform/OwnerOnly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

namespace {

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

}  // namespace

SecretRead ReadSecretFile(const std::string& hostPath, SecretFile check, std::size_t limit,
                          std::string& out, std::string* why) {
    out.clear();
    auto fail = [&](const std::string& what) {
        if (why)
            *why = hostPath + " " + what;
        return SecretRead::kRefused;
    };
    // O_NONBLOCK: a pipe put in the file's place must not hold the program up.
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            fail("does not exist");
            return SecretRead::kMissing;
        }
        if (errno == ELOOP)
            return fail("is a symbolic link; give the file it leads to");
        return fail(std::string("cannot be opened (") + std::strerror(errno) + ")");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(std::string("cannot be looked at (") + std::strerror(errno) + ")");
    if (!S_ISREG(st.st_mode))
        return fail("is not a regular file");
    const unsigned mode = static_cast<unsigned>(st.st_mode);
    if (check == SecretFile::kOwnerOnly) {
        if (st.st_uid != ::geteuid())
            return fail("belongs to user " + std::to_string(st.st_uid) +
                        ", not to this program's user " + std::to_string(::geteuid()));
        if (mode & 0177)
            return fail("may be read or changed by others (mode " + Octal(mode) +
                        "); make it 0600 (chmod 600) or stricter");
    } else if (mode & 0007) {
        return fail("may be read or changed by every user (mode " + Octal(mode) + ")");
    }
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > limit)
        return fail("is longer than " + std::to_string(limit) + " bytes");
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(std::string("cannot be read (") + std::strerror(errno) + ")");
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > limit) {
            out.clear();
            return fail("is longer than " + std::to_string(limit) + " bytes");
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return SecretRead::kRead;
}

}  // namespace platform
