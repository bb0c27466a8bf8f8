// Both ports of quillon-share against clients that play a hostile network: heads dripped a line
// at a time, more connections than a client needs, overlong heads, bodies without end, ranges
// that ask for a file many times over. The rightful client is served all the while.
#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

#include "RawClient.h"
#include "ShareFixture.h"
#include "share/PictureServer.h"
#include "share/PictureWire.h"
#include "share/ShareLink.h"

namespace {

using Clock = std::chrono::steady_clock;

// The peak resident memory of this process (the servers under test run in it), in bytes.
long long PeakResident() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.substr(6).c_str()) * 1024;
    return 0;
}

// Connections that send a request head one line a second and never end it, from eight loopback
// addresses other than the rightful client's, until the test is over or at most 30 s.
class SlowHeads {
  public:
    SlowHeads(int port, int count) {
        for (int i = 0; i < count; ++i) {
            const std::string from = "127.0.0." + std::to_string(2 + i % 8);
            clients_.push_back(std::make_unique<RawClient>(port, from.c_str()));
            EXPECT_TRUE(clients_.back()->connected());
            clients_.back()->Send("GET /v1/image/1 HTTP/1.1\r\n");
        }
        dripper_ = std::thread([this] {
            for (int line = 0; line < 30 && !stop_; ++line) {
                for (auto& c : clients_)
                    c->Send("X-Drip-" + std::to_string(line) + ": a\r\n");
                for (int i = 0; i < 10 && !stop_; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    ~SlowHeads() {
        stop_ = true;
        dripper_.join();
    }
    // How many of them the server has not closed yet.
    int OpenNow() const {
        return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                              [](const auto& c) { return c->OpenNow(); }));
    }
    // How many of them the server has not closed within `seconds`.
    int StillOpenAfter(double seconds) {
        const auto until = Clock::now() + std::chrono::milliseconds(long(seconds * 1000));
        int open = 0;
        for (auto& c : clients_) {
            const double left = std::chrono::duration<double>(until - Clock::now()).count();
            if (!c->ClosedWithin(std::max(left, 0.01)))
                ++open;
        }
        return open;
    }

  private:
    std::vector<std::unique_ptr<RawClient>> clients_;
    std::atomic<bool> stop_{false};
    std::thread dripper_;
};

// Holds 64 slow heads against the port (connected before it, so accepted first), then asks one
// rightful request: it is answered while every slow head is still held, beside them rather than
// after them; the slow ones are cut off once the time for a whole head is over.
void ServedBesideSlowHeads(int port, const std::function<int(httplib::Client&)>& rightful) {
    SlowHeads slow(port, 64);
    httplib::Client http("127.0.0.1", port);
    http.set_connection_timeout(10);
    http.set_read_timeout(10);
    EXPECT_EQ(rightful(http), 200);
    EXPECT_EQ(slow.OpenNow(), 64);
    EXPECT_EQ(slow.StillOpenAfter(15), 0);
}

}  // namespace

class HostileClientTest : public ShareFixture {
  protected:
    int Port() const { return server->port(); }
    static int IndexStatus(httplib::Client& http) {
        auto res = http.Post("/v1/index", kDay, "text/plain");
        return res ? res->status : 0;
    }
    // The first served file of a built image: its path on the share port and its bytes.
    std::pair<std::string, std::string> BuiltFile() {
        httplib::Client http("127.0.0.1", Port());
        const share::JobStatus status = BuildImage(http);
        EXPECT_EQ(status.state, share::JobState::kDone) << status.problem;
        if (status.files.empty())
            return {};
        auto largest = std::max_element(
            status.files.begin(), status.files.end(),
            [](const share::ListedFile& a, const share::ListedFile& b) { return a.size < b.size; });
        const std::string path = "/v1/file?entry=" + share::QueryValue(status.entry) +
                                 "&name=" + share::QueryValue(largest->name);
        auto whole = http.Get(path);
        EXPECT_TRUE(whole && whole->status == 200);
        return {path, whole ? whole->body : std::string()};
    }
};

TEST_F(HostileClientTest, SlowHeadsHoldNoThreadOnEitherPortWithOrWithoutAToken) {
    Serve();
    ServedBesideSlowHeads(Port(), IndexStatus);
    server->Stop();

    Serve("tk7");
    ServedBesideSlowHeads(Port(), [](httplib::Client& http) {
        http.set_bearer_token_auth("tk7");
        return IndexStatus(http);
    });

    share::PictureServer pictures("C:\\QorData");
    ASSERT_TRUE(pictures.Start("127.0.0.1", 0, ""));
    ServedBesideSlowHeads(pictures.Port(), [](httplib::Client& http) {
        auto res = http.Get(share::kDaysPath);
        return res ? res->status : 0;
    });
}

TEST_F(HostileClientTest, OneAddressGetsAFewConnectionsAndHeadsHaveBounds) {
    Serve();
    std::vector<std::unique_ptr<RawClient>> greedy;
    for (int i = 0; i < 40; ++i)
        greedy.push_back(std::make_unique<RawClient>(Port(), "127.0.0.10"));
    int closed = 0;
    for (auto& c : greedy)
        closed += c->ClosedWithin(0.05) ? 1 : 0;
    for (int i = 0; i < 40 && closed < 20; ++i)
        closed += greedy[static_cast<std::size_t>(i)]->ClosedWithin(1) ? 1 : 0;
    EXPECT_GE(closed, 20) << "connections of one address beyond its share are closed at once";
    httplib::Client http("127.0.0.1", Port());
    http.set_read_timeout(10);
    EXPECT_EQ(IndexStatus(http), 200);

    // Many header lines, or one that never ends, are refused rather than read on.
    std::string many = "GET /v1/image/1 HTTP/1.1\r\n";
    for (int i = 0; i < 200; ++i)
        many += "X-" + std::to_string(i) + ": a\r\n";
    RawClient lines(Port());
    lines.Send(many + "\r\n");
    EXPECT_EQ(RawClient::Status(lines.Receive(5)), 431);
    RawClient longLine(Port());
    longLine.Send("GET /v1/image/1 HTTP/1.1\r\nX-Long: " + std::string(40000, 'a'));
    EXPECT_EQ(RawClient::Status(longLine.Receive(5)), 431);
}

TEST_F(HostileClientTest, BodiesOverTheLimitAreRefusedWhateverTheirEncodingAndStrangersUnread) {
    Serve();
    const long long before = PeakResident();
    RawClient chunked(Port());
    chunked.Send("POST /v1/size HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "100000\r\n" + std::string(0x100000, 'a') + "\r\n";
    long long sent = 0;
    for (int i = 0; i < 128 && chunked.Send(chunk); ++i)
        sent += 0x100000;
    const std::string reply = chunked.Receive(10, 4096);
    const long long grown = PeakResident() - before;
    std::printf("chunked body: %lld MB sent, peak resident memory grew by %lld MB, HTTP %d\n",
                sent >> 20, grown >> 20, RawClient::Status(reply));
    EXPECT_TRUE(RawClient::Status(reply) == 411 || RawClient::Status(reply) == 413) << reply;
    EXPECT_LT(grown, 32ll << 20);

    RawClient large(Port());
    large.Send("POST /v1/size HTTP/1.1\r\nContent-Length: 10000000000\r\n\r\n");
    EXPECT_EQ(RawClient::Status(large.Receive(5, 12)), 413);
    server->Stop();

    // With a token, a stranger's body is never read: the refusal does not wait for it.
    Serve("tk9");
    RawClient stranger(Port());
    stranger.Send("POST /v1/size HTTP/1.1\r\nHost: x\r\nContent-Length: 6160\r\n\r\n");
    EXPECT_EQ(RawClient::Status(stranger.Receive(3, 12)), 401);
}

TEST_F(HostileClientTest, ARangeIsOnePartOfTheFileOrRefused) {
    Serve();
    const auto [path, bytes] = BuiltFile();
    ASSERT_GT(bytes.size(), 100u);
    const std::string size = std::to_string(bytes.size());
    auto ask = [&, path = path](const std::string& range) {
        RawClient c(Port());
        c.Send("GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nRange: " + range +
               "\r\n\r\n");
        return c.Receive(20, 256u << 20);
    };
    std::string many = "bytes=0-" + std::to_string(bytes.size() - 1);
    for (int i = 1; i < 500; ++i)
        many += ",0-" + std::to_string(bytes.size() - 1);
    const std::string copies = ask(many);
    std::printf("500 ranges of a %zu-byte file: %zu bytes answered\n", bytes.size(), copies.size());
    EXPECT_LT(copies.size(), bytes.size() + 1024);

    const std::string beyond = ask("bytes=" + std::to_string(bytes.size() + 1000) + "-");
    EXPECT_EQ(RawClient::Status(beyond), 416) << beyond.substr(0, 200);
    EXPECT_NE(beyond.find("Content-Range: bytes */" + size), std::string::npos);

    const std::string middle = ask("bytes=3-7");
    EXPECT_EQ(RawClient::Status(middle), 206);
    EXPECT_NE(middle.find("Content-Range: bytes 3-7/" + size), std::string::npos);
    EXPECT_EQ(middle.substr(middle.size() - 5), bytes.substr(3, 5));
    const std::string tail = ask("bytes=-4");
    EXPECT_EQ(RawClient::Status(tail), 206);
    EXPECT_EQ(tail.substr(tail.size() - 4), bytes.substr(bytes.size() - 4));
}
