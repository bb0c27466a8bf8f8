#pragma once
// A TCP connection as a byte stream: connected with a time limit, sent whole, read in pieces,
// each read and write bounded in time. Not thread-safe.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class TcpStream {
  public:
    TcpStream() = default;
    ~TcpStream() { Close(); }
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    struct Limits {
        int connectSeconds = 5;
        int readSeconds = 60;
        int writeSeconds = 30;
    };
    // Connects to the first address of host that answers within the limit; false when none.
    bool Connect(const std::string& host, int port, const Limits& limits);
    bool IsOpen() const { return fd_ >= 0; }
    // The connected socket, for a layer that speaks over it (TLS); -1 when not open.
    int handle() const { return fd_; }
    void Close();
    // The bytes, all of them; false when the connection failed or the write timed out.
    bool SendAll(std::string_view bytes);
    // Up to size bytes into data; 0 when the peer closed (failed false) or the read failed or
    // timed out (failed true).
    std::size_t Receive(char* data, std::size_t size, bool* failed);

  private:
    int fd_ = -1;
};

}  // namespace platform
