#pragma once
// A server's side of a TCP connection, as a listener accepts it: reads and writes never block
// (wait for the handle with HandleWaits), and a write to a peer that has gone raises no signal.
#include <cstddef>
#include <string>
#include <utility>

namespace platform {

class TcpConnection {
  public:
    TcpConnection() = default;
    ~TcpConnection() { Close(); }
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The peer's address as text ("127.0.0.1", "::1").
    const std::string& remote() const { return remote_; }
    // What to wait on, and to send a file to (File::SendTo).
    int handle() const { return fd_; }
    // The peer's address as the system gives it, for handing the connection on with Release.
    const std::string& rawAddress() const { return rawAddress_; }

    // Returned by Receive and Send when the socket has nothing to read, or no room, now.
    static constexpr long long kNotNow = -2;
    // Up to size bytes into data: the count (> 0); 0 when the peer has closed; kNotNow; -1 on
    // an error.
    long long Receive(char* data, std::size_t size);
    // As many of the bytes as the socket takes now: the count; kNotNow; -1 on an error.
    long long Send(const char* data, std::size_t size);
    // As Receive, but the bytes stay to be received again (to tell what a client speaks).
    long long Peek(char* data, std::size_t size);
    // Sends no more; what the peer sends can still be read.
    void ShutdownWrite();
    void Close();
    // Gives up the socket to whoever serves it from now on: its handle, no longer closed here.
    int Release();

  private:
    friend class TcpListener;
    TcpConnection(int fd, std::string remote, std::string rawAddress)
        : fd_(fd), remote_(std::move(remote)), rawAddress_(std::move(rawAddress)) {}
    int fd_ = -1;
    std::string remote_;
    std::string rawAddress_;
};

// Ends both ways of a socket given up with Release, at once, for whoever serves it now to see
// it closed: the socket itself stays theirs to close.
void CutSocket(int handle);

}  // namespace platform
