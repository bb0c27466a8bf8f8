#pragma once
// Window messages between programs: each top-level window title is a Unix-domain socket in
// <runtime dir>/windows/<title>. A message is one connection carrying one frame, all integers
// little-endian: u32 message, u64 wParam, i64 lParam, u32 byte count N, then N bytes (the data
// of WM_COPYDATA, whose lParam carries its dwData). The receiver handles it as a sent message
// and answers i64 LRESULT, u32 byte count M and M bytes; a poster may close without reading.
// A frame that is short, over 1 MiB or for an unknown message gets LRESULT 0 and no data.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/Error.h"

namespace platform {

constexpr std::uint32_t WM_COPYDATA = 0x004A;
constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
constexpr std::uint32_t WM_COMMAND = 0x0111;
constexpr std::uint32_t kMsgQueryControl = 0x8001;  // WM_APP + 1: a control's state as text
constexpr std::size_t kMaxFrameData = 1 << 20;

struct BusMessage {
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::string data;
};

struct BusReply {
    std::int64_t result = 0;
    std::string data;
};

// The frame of a message and of a reply, for senders and receivers in this program; hosts in
// other languages write the same bytes.
std::string EncodeMessage(const BusMessage& m);
std::string EncodeReply(const BusReply& r);

// A window listening under its title. The handler is called on the listener's own thread, one
// message at a time; it answers the reply. The socket goes when the listener does.
class BusWindow {
  public:
    using Handler = std::function<BusReply(const BusMessage&)>;
    // Listens as title; refused when another live window has the title, failed when the
    // runtime folder cannot be used. A socket left by a window that died is taken over.
    static Expected<std::unique_ptr<BusWindow>> Listen(const std::string& title, Handler handler);
    // Waits for the message being handled, if any.
    ~BusWindow();
    BusWindow(const BusWindow&) = delete;
    BusWindow& operator=(const BusWindow&) = delete;
    const std::string& path() const { return path_; }
    // Takes no more messages; returns at once. finished() tells when the one being handled, if
    // any, has been answered (a window whose handler needs its own thread serves it meanwhile).
    void Stop();
    bool finished() const { return finished_; }

  private:
    BusWindow(int fd, std::string path, Handler handler);
    void Serve();
    int fd_;
    std::string path_;
    Handler handler_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// The socket path of a window title.
std::string WindowPath(const std::string& title);
// True when a live window listens under the title.
bool FindWindow(const std::string& title);
// Sends the message and waits up to timeoutMs for the reply; nullopt when no window has the
// title or it did not answer in time.
std::optional<BusReply> SendMessage(const std::string& title, const BusMessage& m,
                                    int timeoutMs = 5000);
// Sends without waiting for the reply; false when no window has the title.
bool PostMessage(const std::string& title, const BusMessage& m);
// Writes bytes as they are to the window and reads its answer: for testing what a window does
// with a frame that is not one. False when no window has the title or it did not answer.
bool SendRaw(const std::string& title, const std::string& bytes, int timeoutMs = 5000);

}  // namespace platform
