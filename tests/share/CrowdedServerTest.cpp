// Our HTTP server crowded by clients that take its room and give nothing back.
#include <poll.h>

#include "ShareFixture.h"

namespace {
// Idle connections from 127.0.0.2 on, each opened again as soon as the server closes it.
class IdleFlood {
  public:
    IdleFlood(int port, int addresses, int perAddress, int reopens)
        : clients_(RawClients(port, addresses * perAddress, 2, addresses)),
          thread_([=, this] { Reopen(port, addresses, reopens); }) {}
    ~IdleFlood() {
        stop_ = true;
        thread_.join();
    }

  private:
    void Reopen(int port, int addresses, int reopens) {
        for (int reopened = 0; !stop_ && reopened < reopens;) {
            std::vector<pollfd> waits;
            for (const auto& c : clients_)
                waits.push_back(pollfd{c->handle(), POLLIN, 0});
            // Short waits only so that the end of the test is seen.
            if (::poll(waits.data(), waits.size(), 100) <= 0)
                continue;
            // Whatever came (a refusal, a close), the connection is over: another one.
            for (std::size_t i = 0; i < clients_.size() && reopened < reopens; ++i) {
                if (waits[i].revents != 0) {
                    clients_[i] = std::move(RawClients(port, 1, 2 + i % addresses, 1).front());
                    ++reopened;
                }
            }
        }
    }
    std::vector<std::unique_ptr<RawClient>> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
}  // namespace

class CrowdedServerTest : public SiteFixture {
  protected:
    void SetUp() override {
        SiteFixture::SetUp();
        site.gate = [](const share::HttpRequest& req, share::HttpResponse& res) {
            if (req.path != "/refused")
                return true;
            res.Text(403, "refused");
            return false;
        };
        site.log = [this](const share::HttpOutcome& outcome) {
            std::lock_guard<std::mutex> lock(logMutex);
            if (outcome.why.rfind("closed for a newcomer", 0) == 0)
                ++evicted[outcome.remote];
        };
    }
    // One request of the rightful client, on a connection of its own; its status, 0 for none.
    int Rightful() {
        httplib::Client http("127.0.0.1", server->port());
        http.set_connection_timeout(10);
        http.set_read_timeout(10);
        auto res = http.Get("/quick");
        return res ? res->status : 0;
    }
    // How many of up to `times` requests of the rightful client in a row are served.
    int RightfulServed(int times) {
        int served = 0;
        while (served < times && Rightful() == 200)
            ++served;
        return served;
    }
    std::mutex logMutex;
    std::map<std::string, int> evicted;  // lines that say a connection made room, by address
};

TEST_F(CrowdedServerTest, IdleConnectionsGiveWayToTheRightfulClientAndAFullServerSays503) {
    // The idle ones would stay for the whole test.
    Serve({.headTime = std::chrono::seconds(60), .perAddress = 8, .connections = 8, .unproven = 6});
    // Refused a moment ago, and still lingering: it makes room first, without a word.
    RawClient refused(server->port());
    ASSERT_EQ(refused.Asked("GET /refused HTTP/1.1\r\nHost: x\r\n\r\n"), 403);
    {
        // Twice the cap, from two addresses, each put back as soon as it is closed.
        IdleFlood flood(server->port(), 2, 8, 400);
        EXPECT_EQ(RightfulServed(10), 10);
    }
    {
        // Said once an address, and never of connections that were done.
        std::lock_guard<std::mutex> lock(logMutex);
        EXPECT_EQ(evicted.count("127.0.0.1"), 0u);
        for (const auto& [from, lines] : evicted)
            EXPECT_EQ(lines, 1) << from;
    }
    // Connections that brought requests (one at a time) are not pushed out: a newcomer is told
    // to come back.
    std::vector<std::unique_ptr<RawClient>> kept;
    for (int i = 0; i < 8; ++i) {
        kept.push_back(std::make_unique<RawClient>(server->port(), "127.0.0.10"));
        ASSERT_EQ(kept.back()->Asked("GET /quick HTTP/1.1\r\nHost: x\r\n\r\n"), 200) << i;
    }
    RawClient late(server->port(), "127.0.0.20");
    const std::string reply = late.Receive(10);
    EXPECT_EQ(RawClient::Status(reply), 503) << reply;
    EXPECT_HAS(reply, "\r\nRetry-After: 5\r\n");
    EXPECT_TRUE(late.ClosedWithin(5));
    for (auto& k : kept)
        EXPECT_FALSE(k->ClosedWithin(0.01)) << "a connection that brought a request was closed";
    // Once one of them leaves, a newcomer is served again.
    kept.pop_back();
    EXPECT_TRUE(WaitUntil([&] { return Rightful() == 200; }));
}

TEST_F(CrowdedServerTest, BodiesThatNeverArriveHoldNoWorkerAndAreCutOffAtTheirDeadline) {
    Serve({.workers = 2, .keptForQuick = 0});
    // Three times the workers, each with one byte of a body of 100, within the usual 5 s.
    auto slow = RawClients(server->port(), 6, 2, 2);
    for (auto& s : slow)
        ASSERT_TRUE(s->Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\na"));
    EXPECT_EQ(RightfulServed(5), 5);
    for (auto& s : slow)
        EXPECT_TRUE(s->ClosedWithin(15)) << "a connection whose body never came was kept";
    // A body in pieces within its time is read whole, and the request behind it answered.
    RawClient pieces(server->port());
    ASSERT_TRUE(pieces.Send("POST /echo HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\nhello"));
    ASSERT_TRUE(pieces.Send("worldGET /quick HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
    const std::string replies = pieces.Receive(10);
    EXPECT_EQ(RawClient::Status(replies), 200) << replies;
    EXPECT_HAS(replies, "got helloworld\n");
    EXPECT_HAS(replies, "quick\n");
}

// Over TLS, where the refusal waits for the handshake; in plain HTTP as the first case sees it.
TEST_F(CrowdedServerTest, AClientTurnedAwaySaysSoWithTheReasonAndWhenToComeBack) {
    const TlsFiles files = MakeTlsFiles(prefix());
    ASSERT_TRUE(files.ok);
    // One connection an address, which an idle one takes for the whole test.
    Serve({.headTime = std::chrono::seconds(120), .perAddress = 1},
          LoadTls(files.selfCert, files.selfKey));
    const RawClient idle(server->port());
    ASSERT_TRUE(idle.connected());
    const auto reply =
        share::ShareLink("127.0.0.1", server->port(), "", Trust(OpensslPin(files.selfCert)))
            .Get("/quick", 100);
    EXPECT_FALSE(reply.ok());
    EXPECT_EQ(reply.Problem("the day list"),
              "the day list was turned away by the server: too many connections from this "
              "address; it asks to be tried again in 5 s");
}

TEST_F(CrowdedServerTest, FilesSentToClientsThatDoNotReadLeaveWorkersForTheOtherRequests) {
    fileBytes = 256LL << 20;  // the reply waits on its reader
    // A stalled reply holds its worker throughout.
    const share::MhdServer::Limits limits{.writeStall = std::chrono::minutes(2)};
    Serve(limits);
    // As many readers as workers, from several addresses, none reading.
    auto readers = RawClients(server->port(), limits.workers, 2, 4);
    for (auto& r : readers)
        ASSERT_TRUE(r->Send("GET /file HTTP/1.1\r\nHost: x\r\n\r\n"));
    // The workers that may send files each have a reply under way, which its reader leaves.
    const int sending = limits.workers - limits.keptForQuick;
    std::vector<bool> underWay(readers.size(), false);
    int started = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (std::size_t k = 0; k < readers.size(); ++k) {
            pollfd w{readers[k]->handle(), POLLIN, 0};
            if (!underWay[k] && ::poll(&w, 1, 0) > 0 && (w.revents & POLLIN)) {
                underWay[k] = true;
                started += RawClient::Status(readers[k]->Receive(10, 12)) == 200 ? 1 : 0;
            }
        }
        return started >= sending;
    }));
    ASSERT_EQ(started, sending);
    EXPECT_EQ(Rightful(), 200);
    // Answered while the stalled downloads still hold their connections.
    for (auto& r : readers)
        EXPECT_TRUE(r->OpenNow());
}
