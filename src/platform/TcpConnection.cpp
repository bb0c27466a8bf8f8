#include "platform/TcpConnection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

TcpConnection::TcpConnection(TcpConnection&& other) noexcept
    : fd_(other.fd_), remote_(std::move(other.remote_)), rawAddress_(std::move(other.rawAddress_)) {
    other.fd_ = -1;
}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        remote_ = std::move(other.remote_);
        rawAddress_ = std::move(other.rawAddress_);
        other.fd_ = -1;
    }
    return *this;
}

long long TcpConnection::Receive(char* data, std::size_t size) {
    const ssize_t n = ::recv(fd_, data, size, 0);
    if (n >= 0)
        return n;
    // A signal that came between is as if nothing had arrived yet.
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNotNow : -1;
}

long long TcpConnection::Peek(char* data, std::size_t size) {
    const ssize_t n = ::recv(fd_, data, size, MSG_PEEK);
    if (n >= 0)
        return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNotNow : -1;
}

long long TcpConnection::Send(const char* data, std::size_t size) {
    const ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNotNow : -1;
}

void TcpConnection::ShutdownWrite() {
    ::shutdown(fd_, SHUT_WR);
}

int TcpConnection::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void TcpConnection::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void CutSocket(int handle) {
    if (handle >= 0)
        ::shutdown(handle, SHUT_RDWR);
}

}  // namespace platform
