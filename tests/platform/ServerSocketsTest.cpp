// The server side of TCP: the listener's accept loop, its connections that never block, and
// the waits that tell the loop where to look.
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/HandleWaits.h"
#include "platform/NetAddress.h"
#include "platform/TcpListener.h"
#include "platform/TcpStream.h"
#include "platform/WakeUp.h"

using namespace platform;

namespace {

TcpConnection AcceptWithin(TcpListener& listener, int milliseconds) {
    EXPECT_TRUE(WaitReadable(listener.handle(), milliseconds));
    return listener.Accept();
}

// Everything a connection receives until the peer closes or nothing comes for a second.
std::string ReceiveAll(TcpConnection& c) {
    std::string all;
    char buffer[256];
    while (WaitReadable(c.handle(), 1000)) {
        const long long n = c.Receive(buffer, sizeof buffer);
        if (n <= 0 && n != TcpConnection::kNotNow)
            break;
        if (n > 0)
            all.append(buffer, static_cast<std::size_t>(n));
    }
    return all;
}

// Whether the first word of /proc/<task>/syscall is the number of a poll.
bool IsPoll(const std::string& call) {
#ifdef SYS_poll
    if (call == std::to_string(SYS_poll))
        return true;
#endif
    return call == std::to_string(SYS_ppoll);
}

}  // namespace

TEST(TcpListenerTest, AcceptsOnlyWhatWaitsAndTalksBothWays) {
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    ASSERT_GT(listener.port(), 0);
    EXPECT_FALSE(listener.Accept().IsOpen()) << "no client yet: the accept must not wait";

    TcpStream client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.port(), TcpStream::Limits{}));
    TcpConnection server = AcceptWithin(listener, 5000);
    ASSERT_TRUE(server.IsOpen());
    EXPECT_EQ(server.remote(), "127.0.0.1");
    EXPECT_FALSE(listener.Accept().IsOpen());

    char buffer[64];
    EXPECT_EQ(server.Receive(buffer, sizeof buffer), TcpConnection::kNotNow);
    ASSERT_TRUE(client.SendAll("request"));
    ASSERT_TRUE(WaitReadable(server.handle(), 5000));
    const long long got = server.Receive(buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), "request");

    EXPECT_EQ(server.Send("reply", 5), 5);
    server.ShutdownWrite();
    bool failed = true;
    std::string reply(16, '\0');
    reply.resize(client.Receive(reply.data(), reply.size(), &failed));
    EXPECT_EQ(reply, "reply");
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, &failed), 0u);
    EXPECT_FALSE(failed) << "a shut write side reads as the end, not as an error";

    // The read side stays open after the shutdown; the client's close ends it.
    ASSERT_TRUE(client.SendAll("more"));
    client.Close();
    EXPECT_EQ(ReceiveAll(server), "more");
    EXPECT_EQ(server.Receive(buffer, sizeof buffer), 0);
}

TEST(TcpListenerTest, PortTakenOrAddressUnknownIsRefused) {
    TcpListener first;
    ASSERT_TRUE(first.Listen("127.0.0.1", 0));
    TcpListener second;
    EXPECT_FALSE(second.Listen("127.0.0.1", first.port()));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(second.Listen("no.such.host.invalid", 0));
    // Once the first has gone, its port can be had again at once.
    const int port = first.port();
    first.Close();
    EXPECT_TRUE(second.Listen("127.0.0.1", port));
    EXPECT_EQ(second.port(), port);
}

TEST(TcpConnectionTest, WritingToAPeerThatHasGoneFailsWithoutEndingTheProcess) {
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    auto client = std::make_unique<TcpStream>();
    ASSERT_TRUE(client->Connect("127.0.0.1", listener.port(), TcpStream::Limits{}));
    TcpConnection server = AcceptWithin(listener, 5000);
    ASSERT_TRUE(server.IsOpen());
    client.reset();
    // The first write may still be taken; the reset it brings makes a later one fail.
    const std::string block(64 << 10, 'x');
    long long n = 0;
    for (int i = 0; i < 200 && n != -1; ++i) {
        n = server.Send(block.data(), block.size());
        if (n == TcpConnection::kNotNow)
            WaitWritable(server.handle(), 50);
    }
    EXPECT_EQ(n, -1);
}

TEST(TcpConnectionTest, MovedConnectionIsClosedOnlyOnce) {
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    TcpStream client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.port(), TcpStream::Limits{}));
    TcpConnection moved;
    {
        TcpConnection accepted = AcceptWithin(listener, 5000);
        moved = std::move(accepted);
        EXPECT_FALSE(accepted.IsOpen());
    }
    // The moved-from one's end did not close the socket under the new owner.
    ASSERT_TRUE(client.SendAll("still here"));
    ASSERT_TRUE(WaitReadable(moved.handle(), 5000));
    char buffer[32];
    EXPECT_EQ(moved.Receive(buffer, sizeof buffer), 10);
}

// A socket given up goes on under its new owner, however the connection ends; cut, its peer
// sees it closed while the owner still holds it.
TEST(TcpConnectionTest, ReleasedSocketOutlivesItsConnectionAndCutEndsItForThePeer) {
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    TcpStream client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.port(), TcpStream::Limits{}));
    int fd = -1;
    {
        TcpConnection accepted = AcceptWithin(listener, 5000);
        fd = accepted.Release();
        EXPECT_FALSE(accepted.IsOpen());
    }
    ASSERT_TRUE(client.SendAll("still here"));
    ASSERT_TRUE(WaitReadable(fd, 5000));
    char buffer[32];
    EXPECT_EQ(::recv(fd, buffer, sizeof buffer, 0), 10);
    CutSocket(fd);
    bool failed = false;
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, &failed), 0u);
    EXPECT_FALSE(failed);
    ::close(fd);
}

TEST(HandleWaitsTest, WakeFromAnotherThreadEndsTheWaitAndDrainQuietsIt) {
    WakeUp wake;
    ASSERT_TRUE(wake.Open());
    TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    HandleWaits waits;
    waits.Add(wake.handle());
    waits.Add(-1);  // passed over
    waits.Add(listener.handle());

    // The wake comes once this thread is inside the wait's poll: only the wake can end it.
    const long waiter = ::syscall(SYS_gettid);
    std::thread waker([&] {
        const std::string state = "/proc/self/task/" + std::to_string(waiter) + "/syscall";
        for (std::string call; !IsPoll(call); std::this_thread::yield()) {
            std::ifstream in(state);
            if (!in)
                break;   // no such view of a task here: the wake may come before the wait
            in >> call;  // "running" while the task is out of any call
        }
        wake.Wake();
    });
    waits.Wait(-1);
    waker.join();
    EXPECT_TRUE(waits.Stirred(0));
    EXPECT_FALSE(waits.Stirred(1));
    EXPECT_FALSE(waits.Stirred(2));

    // Wakes pile up before a wait without being lost, and a drain takes them all.
    wake.Wake();
    wake.Wake();
    waits.Wait(0);
    EXPECT_TRUE(waits.Stirred(0));
    wake.Drain();
    waits.Wait(0);
    EXPECT_FALSE(waits.Stirred(0));

    TcpStream client;
    ASSERT_TRUE(client.Connect("127.0.0.1", listener.port(), TcpStream::Limits{}));
    waits.Wait(5000);
    EXPECT_TRUE(waits.Readable(2));
    EXPECT_FALSE(waits.Stirred(0));
}

TEST(NetAddressTest, LoopbackIsTheWholeOf127AndOnly1OfIpv6) {
    for (const char* yes : {"127.0.0.1", "127.255.3.4", "::1", "0:0:0:0:0:0:0:1"})
        EXPECT_TRUE(IsLoopbackAddress(yes)) << yes;
    for (const char* no :
         {"128.0.0.1", "10.0.0.1", "0.0.0.0", "::", "::2", "localhost", "", "127.0.0", "1.127.0.0"})
        EXPECT_FALSE(IsLoopbackAddress(no)) << no;
}
