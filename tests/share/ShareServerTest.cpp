// quillon-share's routes as any HTTP client meets them, a hostile one too; listen addresses.
#include "ShareFixture.h"
#include "share/LinkSetup.h"
#include "share/ShareAccess.h"

namespace {
// The peak resident memory of this process (the servers under test run in it), in bytes.
long long PeakResident() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.substr(6).c_str()) * 1024;
    return 0;
}
}  // namespace

class ShareServerTest : public ShareFixture {
  protected:
    httplib::Client Client() { return httplib::Client("127.0.0.1", server->port()); }
    int Port() const { return server->port(); }
    // The largest file of a built image (names outside it refused): its path and bytes.
    std::pair<std::string, std::string> BuiltFile() {
        httplib::Client http("127.0.0.1", Port());
        const share::JobStatus status = BuildImage(http);
        EXPECT_EQ(status.state, share::JobState::kDone) << status.problem;
        if (status.files.empty())
            return {};
        auto largest = std::max_element(
            status.files.begin(), status.files.end(),
            [](const share::ListedFile& a, const share::ListedFile& b) { return a.size < b.size; });
        const std::string path = FilePath(status, largest->name);
        auto whole = http.Get(path);
        EXPECT_TRUE(whole && whole->status == 200);
        EXPECT_EQ(static_cast<long long>(whole ? whole->body.size() : 0), largest->size);
        // The recorder's own files, the entry's information file, paths that climb.
        for (const std::string name : {"BackupInfo.dat", "../../QorData/20100523/201005231000N.dat",
                                       "/etc/passwd", "nothing"}) {
            auto res = http.Get(FilePath(status, name));
            EXPECT_TRUE(res && res->status != 200) << name;
            EXPECT_TRUE(res && res->body.size() < 64) << name;
        }
        return {path, whole ? whole->body : std::string()};
    }
};

TEST_F(ShareServerTest, RecordsOfTheWrongSizeAndDaysOfTheWrongShapeAreRefused) {
    Serve();
    auto http = Client();
    for (const auto& [path, size] :
         {std::pair{"/v1/size", 6159}, {"/v1/size", 6161}, {"/v1/image", 499}})
        EXPECT_EQ(http.Post(path, std::string(size, '\0'), share::kBinaryType)->status, 400)
            << path << size;
    // A client id that is no id, or two of them, starts no build.
    const std::string request(sizeof(_BACKUPMAKEIMAGE), '\0');
    for (const char* query :
         {"?client=", "?client=ABCDEF0123456789", "?client=0123456789abcde",
          "?client=0123456789abcdef&client=0123456789abcdef", "?client=0123456789abcdef%0a"})
        EXPECT_EQ(http.Post(std::string("/v1/image") + query, request, share::kBinaryType)->status,
                  400)
            << query;
    for (const char* day : {"2010052", "2010052x"})
        EXPECT_EQ(http.Post("/v1/index", day, "text/plain")->status, 400) << day;
    EXPECT_EQ(http.Get("/v1/image/99")->status, 404);
    EXPECT_EQ(http.Post("/v1/image/99/cancel", "", "text/plain")->status, 404);
}

TEST_F(ShareServerTest, CancellingABuiltImageRemovesItsTemporaryData) {
    Serve();
    auto http = Client();
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone);
    ASSERT_TRUE(fs::exists(ServerImage()));
    EXPECT_EQ(http.Post("/v1/image/1/cancel", "", "text/plain")->status, 200);
    EXPECT_FALSE(fs::exists(ServerImage()));
    EXPECT_HAS(http.Get("/v1/image/1")->body, "state cancelled");
    // Its files are no longer served.
    EXPECT_EQ(http.Get(FilePath(status, status.files[0].name))->status, 404);
    // Only temporary images can be deleted by name.
    EXPECT_EQ(http.Post("/v1/delete", "C:\\QorData", "text/plain")->status, 404);
    EXPECT_EQ(http.Post("/v1/delete", "C:\\NetBackupTemp\\..\\QorData", "text/plain")->status, 404);
    EXPECT_TRUE(fs::exists(driveC() + "/QorData/20100523"));
}

TEST_F(ShareServerTest, HeadsAndBodiesOverTheLimitAreRefusedAndAStrangersBodyIsUnread) {
    Serve();
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
    EXPECT_EQ(
        RawClient(Port()).Asked("POST /v1/size HTTP/1.1\r\nContent-Length: 10000000000\r\n\r\n", 5),
        413);
    // With a token, a stranger's body is never read: the refusal does not wait for it.
    Serve("tk9");
    EXPECT_EQ(RawClient(Port()).Asked(
                  "POST /v1/size HTTP/1.1\r\nHost: x\r\nContent-Length: 6160\r\n\r\n", 3),
              401);
}

TEST_F(ShareServerTest, OnlyTheFilesOfABuiltImageAreServedAndARangeIsOnePartOrRefused) {
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
    EXPECT_HAS(beyond, "Content-Range: bytes */" + size);
    const std::string middle = ask("bytes=3-7");
    EXPECT_EQ(RawClient::Status(middle), 206);
    EXPECT_HAS(middle, "Content-Range: bytes 3-7/" + size);
    EXPECT_EQ(middle.substr(middle.size() - 5), bytes.substr(3, 5));
    const std::string tail = ask("bytes=-4");
    EXPECT_EQ(RawClient::Status(tail), 206);
    EXPECT_EQ(tail.substr(tail.size() - 4), bytes.substr(bytes.size() - 4));
}

TEST(ShareAccessTest, OnlyLoopbackServesWithoutATokenAndTheTokenMustMatchWhole) {
    for (const char* host : {"127.0.0.1", "127.8.9.1", "::1", "localhost"})
        EXPECT_EQ(share::ListenProblem(host, ""), "") << host;
    for (const char* host : {"0.0.0.0", "::", "192.168.1.4", "recorder.local"})
        EXPECT_NE(share::ListenProblem(host, ""), "") << host;
    EXPECT_EQ(share::ListenProblem("0.0.0.0", "t"), "");
    EXPECT_TRUE(share::TokenMatches("Bearer abc", "abc"));
    for (const char* header : {"Bearer abcd", "Bearer ab", "bearer abc"})
        EXPECT_FALSE(share::TokenMatches(header, "abc")) << header;
    EXPECT_FALSE(share::TokenMatches("Bearer ", ""));  // an empty token never matches
    auto a = share::ParseListenAddress("[::1]:7004");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "::1");
    EXPECT_EQ(a->port, 7004);
    for (const char* text : {"::1:7004", "127.0.0.1:70000", "127.0.0.1"})
        EXPECT_FALSE(share::ParseListenAddress(text)) << text;
}

TEST(LinkSetupTest, AnAddressIsAHostAndAPortFromOneTo65535OverHttpOrHttps) {
    struct Case {
        const char* text;
        bool ok;
        const char* address;
        int port;
        bool https;
    };
    for (const Case& c :
         {Case{"127.0.0.1:7004", true, "127.0.0.1", 7004, false},
          Case{"https://rec.example:443", true, "rec.example", 443, true},
          Case{"[::1]:7004", true, "[::1]", 7004, false}, Case{"host:1", true, "host", 1, false},
          Case{"host:65535", true, "host", 65535, false}, Case{"host:0", false},
          Case{"host:65536", false}, Case{"host:123456", false}, Case{"host:7a", false},
          Case{"host:", false}, Case{":7004", false}, Case{"nowhere", false},
          Case{"https://:7004", false}}) {
        backup::LinkOptions o;
        ASSERT_EQ(share::ParseLinkAddress(c.text, o), c.ok) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(o.address, c.address) << c.text;
        EXPECT_EQ(o.port, c.port) << c.text;
        EXPECT_EQ(o.https, c.https) << c.text;
    }
}

TEST(LinkSetupTest, ACaFileOrAPinGoesWithHttpsOnly) {
    backup::LinkOptions o;
    o.ca = "/etc/ssl/ca.pem";
    const platform::Outcome plain = share::CheckLinkTls(o);
    ASSERT_FALSE(plain);
    EXPECT_EQ(plain.error().Said(), "--ca and --pin go with an https:// --remote address");
    o.https = true;
    EXPECT_TRUE(share::CheckLinkTls(o));
}
