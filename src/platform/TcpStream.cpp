#include "platform/TcpStream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

void SetTimeout(int fd, int option, int seconds) {
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// A connect that takes longer than the limit is a server that is not there.
bool ConnectWithin(int fd, const addrinfo& a, int seconds) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    int error = 0;
    if (::connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            socklen_t length = sizeof error;
            error = ::poll(&p, 1, seconds * 1000) == 1 &&
                            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0
                        ? error
                        : ETIMEDOUT;
        }
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return error == 0;
}

}  // namespace

bool TcpStream::Connect(const std::string& host, int port, const Limits& limits) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (!ConnectWithin(fd, *a, limits.connectSeconds)) {
            ::close(fd);
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        SetTimeout(fd, SO_RCVTIMEO, limits.readSeconds);
        SetTimeout(fd, SO_SNDTIMEO, limits.writeSeconds);
        fd_ = fd;
    }
    ::freeaddrinfo(found);
    return fd_ >= 0;
}

void TcpStream::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool TcpStream::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::size_t TcpStream::Receive(char* data, std::size_t size, bool* failed) {
    for (;;) {
        const ssize_t n = ::recv(fd_, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        *failed = n < 0;
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

}  // namespace platform
