#include "platform/MessageBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/DrivePaths.h"

namespace platform {
namespace {

void Put(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t Get(const char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

bool Address(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

int Connect(const std::string& title) {
    sockaddr_un addr;
    if (!Address(WindowPath(title), addr))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads exactly n bytes, waiting at most timeoutMs for each part; false when they do not come.
bool ReadAll(int fd, char* p, std::size_t n, int timeoutMs) {
    while (n > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// One frame from a sender; nullopt for a short or oversized one.
std::optional<BusMessage> ReadMessage(int fd) {
    char head[24];
    if (!ReadAll(fd, head, sizeof head, 2000))
        return std::nullopt;
    BusMessage m;
    m.message = static_cast<std::uint32_t>(Get(head, 4));
    m.wParam = Get(head + 4, 8);
    m.lParam = static_cast<std::int64_t>(Get(head + 12, 8));
    const std::uint64_t n = Get(head + 20, 4);
    if (n > kMaxFrameData)
        return std::nullopt;
    m.data.resize(static_cast<std::size_t>(n));
    if (n > 0 && !ReadAll(fd, m.data.data(), m.data.size(), 2000))
        return std::nullopt;
    return m;
}

}  // namespace

std::string EncodeMessage(const BusMessage& m) {
    std::string out;
    Put(out, m.message, 4);
    Put(out, m.wParam, 8);
    Put(out, static_cast<std::uint64_t>(m.lParam), 8);
    Put(out, m.data.size(), 4);
    return out + m.data;
}

std::string EncodeReply(const BusReply& r) {
    std::string out;
    Put(out, static_cast<std::uint64_t>(r.result), 8);
    Put(out, r.data.size(), 4);
    return out + r.data;
}

std::string WindowPath(const std::string& title) {
    return RuntimeDir() + "/windows/" + title;
}

Expected<std::unique_ptr<BusWindow>> BusWindow::Listen(const std::string& title, Handler handler) {
    auto fail = [](const std::string& what) { return Error{Error::Kind::kFailed, what, {}}; };
    const std::string path = WindowPath(title);
    if (const Outcome usable = CheckRuntimeDir(RuntimeDir()); !usable)
        return fail(usable.error().Said());
    ::mkdir((RuntimeDir() + "/windows").c_str(), 0700);
    sockaddr_un addr;
    if (!Address(path, addr))
        return fail("the window's address " + path + " is too long");
    if (const int live = Connect(title); live >= 0) {
        ::close(live);
        return Error{Error::Kind::kRefused, "another window is titled \"" + title + "\"", {}};
    }
    ::unlink(path.c_str());  // a socket left by a window that died
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 16) != 0) {
        const std::string err = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return fail("the window " + path + " cannot listen: " + err);
    }
    ::chmod(path.c_str(), 0600);
    return {std::unique_ptr<BusWindow>(new BusWindow(fd, path, std::move(handler)))};
}

BusWindow::BusWindow(int fd, std::string path, Handler handler)
    : fd_(fd), path_(std::move(path)), handler_(std::move(handler)) {
    thread_ = std::thread([this] { Serve(); });
}

void BusWindow::Stop() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
}

BusWindow::~BusWindow() {
    Stop();
    if (thread_.joinable())
        thread_.join();
    ::close(fd_);
    ::unlink(path_.c_str());
}

void BusWindow::Serve() {
    while (!stop_) {
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 200);
        if (ready <= 0 || stop_)
            continue;
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const std::optional<BusMessage> m = ReadMessage(client);
        // A frame that cannot be read changes nothing and is answered 0.
        const BusReply reply = m ? handler_(*m) : BusReply{};
        WriteAll(client, EncodeReply(reply));
        ::close(client);
    }
    finished_ = true;
}

bool FindWindow(const std::string& title) {
    const int fd = Connect(title);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::optional<BusReply> SendMessage(const std::string& title, const BusMessage& m, int timeoutMs) {
    const int fd = Connect(title);
    if (fd < 0)
        return std::nullopt;
    std::optional<BusReply> reply;
    char head[12];
    if (WriteAll(fd, EncodeMessage(m)) && ReadAll(fd, head, sizeof head, timeoutMs)) {
        BusReply r;
        r.result = static_cast<std::int64_t>(Get(head, 8));
        const std::uint64_t n = Get(head + 8, 4);
        if (n <= kMaxFrameData) {
            r.data.resize(static_cast<std::size_t>(n));
            if (n == 0 || ReadAll(fd, r.data.data(), r.data.size(), timeoutMs))
                reply = r;
        }
    }
    ::close(fd);
    return reply;
}

bool SendRaw(const std::string& title, const std::string& bytes, int timeoutMs) {
    const int fd = Connect(title);
    if (fd < 0)
        return false;
    char head[12];
    const bool ok = WriteAll(fd, bytes) && (::shutdown(fd, SHUT_WR), true) &&
                    ReadAll(fd, head, sizeof head, timeoutMs);
    ::close(fd);
    return ok;
}

bool PostMessage(const std::string& title, const BusMessage& m) {
    const int fd = Connect(title);
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, EncodeMessage(m));
    ::close(fd);
    return ok;
}

}  // namespace platform
