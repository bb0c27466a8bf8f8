#pragma once
// A listening TCP socket for a server's accept loop. It never blocks: wait for its handle with
// HandleWaits, then Accept until nothing is left.
#include <string>

#include "platform/TcpConnection.h"

namespace platform {

class TcpListener {
  public:
    TcpListener() = default;
    ~TcpListener() { Close(); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds host:port (host "": every address; port 0: any free one) and listens; false when
    // the address cannot be bound.
    bool Listen(const std::string& host, int port);
    bool IsOpen() const { return fd_ >= 0; }
    // The port bound.
    int port() const { return port_; }
    // What to wait on for a connection to accept.
    int handle() const { return fd_; }
    // The next waiting connection, never blocking, set to send small writes at once; one that
    // is not open when none waits.
    TcpConnection Accept();
    void Close();

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace platform
