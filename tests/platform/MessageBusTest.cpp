// The message bus without a window: the listener's thread against senders on other threads, as
// the host and the tool use it.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "TestEnv.h"
#include "platform/MessageBus.h"
#include "share/Has.h"
#include "share/Wait.h"

using namespace platform;

class MessageBusTest : public TempPrefixTest {};

TEST_F(MessageBusTest, AMessageArrivesWholeOnTheListenersThreadAndItsReplyComesBack) {
    std::mutex m;
    std::vector<BusMessage> seen;
    std::thread::id handlerThread;
    auto listened = BusWindow::Listen("Probe", [&](const BusMessage& msg) {
        std::lock_guard<std::mutex> lock(m);
        seen.push_back(msg);
        handlerThread = std::this_thread::get_id();
        return BusReply{msg.lParam - 1, std::string(msg.data.rbegin(), msg.data.rend())};
    });
    ASSERT_TRUE(listened);
    auto window = std::move(*listened);
    EXPECT_TRUE(FindWindow("Probe"));

    const std::string data("a\0\xff\x80z", 5);
    const BusMessage sent{WM_COPYDATA, 0xFEDCBA9876543210ULL, -5, data};
    const auto reply = SendMessage("Probe", sent);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->result, -6);
    EXPECT_EQ(reply->data, std::string(data.rbegin(), data.rend()));

    EXPECT_TRUE(PostMessage("Probe", BusMessage{WM_COMMAND, 2, 0, ""}));
    {
        ASSERT_TRUE(WaitUntil([&] {
            std::lock_guard<std::mutex> lock(m);
            return seen.size() == 2;
        }));
        std::lock_guard<std::mutex> lock(m);
        EXPECT_EQ(seen[0].message, WM_COPYDATA);
        EXPECT_EQ(seen[0].wParam, 0xFEDCBA9876543210ULL);
        EXPECT_EQ(seen[0].lParam, -5);
        EXPECT_EQ(seen[0].data, data);
        EXPECT_EQ(seen[1].message, WM_COMMAND);
        EXPECT_NE(handlerThread, std::this_thread::get_id());
    }

    const std::string path = window->path();
    window.reset();
    EXPECT_FALSE(FindWindow("Probe"));
    EXPECT_FALSE(SendMessage("Probe", sent).has_value());
    EXPECT_FALSE(PostMessage("Probe", sent));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(MessageBusTest, SendersOnManyThreadsEachGetTheirOwnReplyOneMessageAtATime) {
    std::atomic<int> inside{0};
    int most = 0;  // the listener's own, read once it is gone
    int handled = 0;
    auto listened = BusWindow::Listen("Busy", [&](const BusMessage& msg) {
        most = std::max(most, ++inside);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ++handled;
        --inside;
        return BusReply{static_cast<std::int64_t>(msg.wParam) * 3, msg.data};
    });
    ASSERT_TRUE(listened);
    auto window = std::move(*listened);

    constexpr int kSenders = 4;
    constexpr int kEach = 10;
    std::atomic<int> wrong{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 0; i < kEach; ++i) {
                const std::uint64_t n = static_cast<std::uint64_t>(s * 100 + i);
                const auto reply =
                    SendMessage("Busy", BusMessage{WM_COMMAND, n, 0, std::to_string(n)});
                if (!reply || reply->result != static_cast<std::int64_t>(n * 3) ||
                    reply->data != std::to_string(n))
                    ++wrong;
            }
        });
    }
    for (auto& t : senders)
        t.join();
    window.reset();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(handled, kSenders * kEach);
    EXPECT_EQ(most, 1);
}

TEST_F(MessageBusTest, ALiveTitleIsRefusedAndTheSocketOfADeadWindowIsTakenOver) {
    const auto answering = [](std::int64_t result) {
        return [result](const BusMessage&) { return BusReply{result, ""}; };
    };
    auto first = BusWindow::Listen("Tool", answering(1));
    ASSERT_TRUE(first);
    const auto second = BusWindow::Listen("Tool", answering(2));
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, platform::Error::Kind::kRefused);
    EXPECT_HAS(second.error().text, "another window");
    EXPECT_EQ(SendMessage("Tool", BusMessage{WM_COMMAND, 0, 0, ""})->result, 1);

    // A window that died leaves its socket behind, with nobody listening on it.
    const std::string stale = WindowPath("Dead");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, stale.c_str(), stale.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(stale));
    EXPECT_FALSE(FindWindow("Dead"));
    auto heir = BusWindow::Listen("Dead", answering(3));
    ASSERT_TRUE(heir);
    const auto reply = SendMessage("Dead", BusMessage{WM_COMMAND, 0, 0, ""});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->result, 3);
}

TEST_F(MessageBusTest, AFrameThatIsNotOneIsAnsweredZeroAndNeverHandled) {
    std::atomic<int> handled{0};
    auto listened = BusWindow::Listen("Strict", [&](const BusMessage&) {
        ++handled;
        return BusReply{9, "x"};
    });
    ASSERT_TRUE(listened);
    auto window = std::move(*listened);
    // Shorter than a head.
    EXPECT_TRUE(SendRaw("Strict", "\x11\x01\x00\x00"));
    // A head announcing more data than a frame may carry.
    BusMessage big{WM_COPYDATA, 0, 0, ""};
    std::string head = EncodeMessage(big);
    const std::uint32_t tooMuch = kMaxFrameData + 1;
    for (int i = 0; i < 4; ++i)
        head[20 + i] = static_cast<char>((tooMuch >> (8 * i)) & 0xFF);
    EXPECT_TRUE(SendRaw("Strict", head));
    // A head whose data stops short.
    EXPECT_TRUE(
        SendRaw("Strict", EncodeMessage(BusMessage{WM_COPYDATA, 0, 0, "abcdef"}).substr(0, 27)));
    EXPECT_EQ(handled.load(), 0);
    // The window goes on taking whole frames.
    const auto reply = SendMessage("Strict", BusMessage{WM_COMMAND, 0, 0, ""});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->result, 9);
    EXPECT_EQ(handled.load(), 1);
}

TEST_F(MessageBusTest, StopTakesNoMoreAndFinishesOnceTheMessageInHandIsAnswered) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto listened = BusWindow::Listen("Slow", [&](const BusMessage&) {
        entered.set_value();
        released.wait();
        return BusReply{42, ""};
    });
    ASSERT_TRUE(listened);
    auto window = std::move(*listened);
    std::optional<BusReply> reply;
    std::thread sender([&] { reply = SendMessage("Slow", BusMessage{WM_COMMAND, 0, 0, ""}); });
    entered.get_future().wait();

    window->Stop();
    EXPECT_FALSE(window->finished());
    EXPECT_FALSE(SendMessage("Slow", BusMessage{WM_COMMAND, 0, 0, ""}, 200).has_value());
    release.set_value();
    sender.join();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->result, 42);
    EXPECT_TRUE(WaitUntil([&] { return window->finished(); }));
}
