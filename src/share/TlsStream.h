#pragma once
// A client's TLS over a connected, blocking socket whose reads and writes time out (TcpStream):
// the handshake verified by a TlsCheck, then whole writes and reads in pieces. For the file
// link, which reads into large buffers of its own. Not thread-safe.
#include <cstddef>
#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;

namespace share {

class TlsCheck;

class TlsStream {
  public:
    // check: how the server is trusted; it must outlive the stream.
    explicit TlsStream(TlsCheck& check);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // The handshake over socket (the caller keeps and closes it); false with why, in the
    // operator's words, when the server is not the one trusted or speaks no TLS.
    bool Start(int socket, std::string* why);
    bool IsOpen() const { return ssl_ != nullptr; }
    // Ends the session (the socket stays the caller's).
    void Close();
    // As TcpStream's: all the bytes or false; up to size bytes, 0 when the peer closed (failed
    // false) or the read failed or timed out (failed true).
    bool SendAll(std::string_view bytes);
    std::size_t Receive(char* data, std::size_t size, bool* failed);

  private:
    TlsCheck& check_;
    ssl_ctx_st* ctx_ = nullptr;  // made and prepared once, for every connection of the stream
    ssl_st* ssl_ = nullptr;
};

}  // namespace share
