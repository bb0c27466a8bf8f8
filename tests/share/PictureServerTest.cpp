// The picture server over a generated recorder, read through the remote source, and its wire.
#include "ShareFixture.h"
#include "platform/TcpListener.h"
#include "playback/LocalPictureSource.h"
#include "share/PictureServer.h"
#include "share/PictureWire.h"

using namespace share;

namespace {
constexpr const char* kRoot = "C:\\QorData";

std::string Text(const playback::MinutePictures& m) {
    std::string out = m.problem;
    for (const auto& p : m.pictures)
        out += " " + std::to_string(p.rectime) + "/" + std::to_string(p.pos) + "/" +
               std::to_string(p.size);
    return out;
}

// 10:00 to 10:05 of three cameras; 10:01 is not recorded, 10:02's index is no database, 10:03's
// data file is cut short, 10:04's index has no table; camera 2 stops at 10:04.
class PictureServerTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        mkrec::RecorderPlan plan{
            .root = kRoot, .days = {"20100522", "20100523"}, .lastMinute = 605};
        plan.cameras = 3;
        plan.fps = 2;
        plan.width = plan.height = 16;
        plan.gapMinutes = {601};
        plan.damagedMinutes = {{602, mkrec::Damage::kNotADatabase},
                               {603, mkrec::Damage::kShortData},
                               {604, mkrec::Damage::kNoTable}};
        plan.cameraStops[2] = 604;
        mkrec::MakeRecordings(plan);
    }
    void TearDown() override {
        server.Stop();
        TempPrefixTest::TearDown();
    }
    void StartServer(const std::string& token = "") {
        ASSERT_TRUE(server.Start("127.0.0.1", 0, token));
        ASSERT_GT(server.Port(), 0);
    }
    // Every file below drive C: with its size and time: what the server must leave as it was.
    auto Storage() const {
        std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
        for (const auto& e : fs::recursive_directory_iterator(driveC()))
            files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0,
                                        e.last_write_time()};
        return files;
    }
    int Status(const std::string& path, const httplib::Headers& headers = {}) {
        httplib::Client raw("127.0.0.1", server.Port());
        const auto res = raw.Get(path, headers);
        return res ? res->status : -1;
    }
    PictureServer server{kRoot};
};

// A stand-in server whose replies the test chooses, path by path.
struct FakeServer {
    void Reply(const std::string& path, int status, std::string body) {
        std::lock_guard<std::mutex> lock(mutex);
        replies[path] = {status, std::move(body)};
    }
    std::mutex mutex;
    std::map<std::string, std::pair<int, std::string>> replies;
    FakeHttp http{[this](httplib::Server& s) {
        s.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex);
            res.status = replies[req.path].first;
            res.set_content(replies[req.path].second, "text/plain");
        });
    }};
};
}  // namespace

TEST_F(PictureServerTest, RemoteAnswersAreTheLocalOnesAndTheStorageIsOnlyRead) {
    StartServer();
    const auto before = Storage();
    playback::LocalPictureSource local(kRoot);
    HttpPictureSource remote("127.0.0.1", server.Port(), "");
    EXPECT_EQ(remote.Days(), local.Days());
    ASSERT_EQ(remote.Days().size(), 2u);
    EXPECT_EQ(remote.Minutes("20100523"), (std::vector<int>{600, 602, 603, 604, 605}));
    EXPECT_EQ(remote.Minutes("20991231"), local.Minutes("20991231"));
    // One picture read both ways: the same answer, bytes and problem.
    const auto sameRead = [&](int minute, const playback::PictureRef& p) {
        std::vector<std::uint8_t> wantBytes, gotBytes;
        const platform::Outcome want = local.Read("20100523", minute, p, wantBytes);
        const platform::Outcome got = remote.Read("20100523", minute, p, gotBytes);
        EXPECT_EQ(got.ok(), want.ok());
        EXPECT_EQ(gotBytes, wantBytes);
        if (!want && !got) {
            EXPECT_EQ(got.error().Said(), want.error().Said());
        }
        return want.ok();
    };
    std::size_t readsCompared = 0;
    for (const int minute : {600, 601, 602, 603, 604, 605}) {
        for (const int camera : {-1, 0, 1, 2, 3, 64}) {
            const auto want = local.Pictures("20100523", minute, camera);
            ASSERT_EQ(Text(remote.Pictures("20100523", minute, camera)), Text(want))
                << minute << " camera " << camera;
            readsCompared += want.pictures.size();
            for (const auto& p : want.pictures)
                sameRead(minute, p);
        }
    }
    EXPECT_GT(readsCompared, 100u);
    EXPECT_HAS(remote.Pictures("20100523", 602, 0).problem, "10:02");
    // Pictures the data file does not hold, or larger than the recorder's.
    for (const playback::PictureRef p : {playback::PictureRef{0, 1LL << 40, 10}, {0, 0, 2 << 20}})
        EXPECT_FALSE(sameRead(600, p));
    EXPECT_EQ(Storage(), before);
}

TEST_F(PictureServerTest, BadParametersAreRefused) {
    StartServer();
    EXPECT_EQ(Status("/pictures/picture?day=20100523&minute=600&pos=0&size=0"), 200);
    const std::string m = "/pictures/minutes", l = "/pictures/list?day=20100523&minute=",
                      p = "/pictures/picture?day=20100523&minute=600&pos=";
    for (const std::string& path :
         {m, m + "?day=2010052", m + "?day=..%2F..", m + "?day=20100523&day=20100522",
          l + "1440&camera=0", l + "-1&camera=0", l + "600&camera=64", l + "600",
          std::string("/pictures/list?day=2010%0A0523&minute=1&camera=0"), p + "-1&size=10",
          p + "0&size=16777217", p + "0&size=1e3", p + "99999999999999999999&size=1"})
        EXPECT_EQ(Status(path), 400) << path;
    EXPECT_EQ(Status("/pictures/../etc/passwd"), 404);
}

TEST_F(PictureServerTest, ATokenIsRequiredWhenSet) {
    StartServer("s3cret");
    for (const char* auth : {"", "Bearer s3cre", "Bearer s3cret2", "Basic s3cret"})
        EXPECT_EQ(Status("/pictures/days", {{"Authorization", auth}}), 401) << auth;
    EXPECT_EQ(Status("/pictures/days", {{"Authorization", "Bearer s3cret"}}), 200);
    HttpPictureSource stranger("127.0.0.1", server.Port(), "guess");
    EXPECT_TRUE(stranger.Days().empty());
    EXPECT_HAS(stranger.LastProblem(), "token");
    EXPECT_HAS(stranger.Pictures("20100523", 600, 0).problem, "token");
    HttpPictureSource friendly("127.0.0.1", server.Port(), "s3cret");
    EXPECT_EQ(friendly.Days().size(), 2u);
    EXPECT_EQ(friendly.Pictures("20100523", 600, 0).pictures.size(), 120u);
}

TEST_F(PictureServerTest, AServerThatIsAwayOrSilentGivesReasons) {
    StartServer();
    HttpPictureSource remote("127.0.0.1", server.Port(), "", std::chrono::milliseconds(300));
    ASSERT_EQ(remote.Days().size(), 2u);  // the kept connection is open
    server.Stop();
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(remote.Days().empty());
    EXPECT_HAS(remote.LastProblem(), "cannot be reached");
    EXPECT_HAS(remote.Pictures("20100523", 600, 0).problem, "cannot be reached");
    const platform::Outcome gone = remote.Read("20100523", 600, {0, 0, 10}, bytes);
    ASSERT_FALSE(gone);
    EXPECT_HAS(gone.error().Said(), "cannot be reached");
    // A listener that never accepts: the system takes the connection, nobody answers.
    platform::TcpListener silent;
    ASSERT_TRUE(silent.Listen("127.0.0.1", 0));
    HttpPictureSource waiting("127.0.0.1", silent.port(), "", std::chrono::milliseconds(300));
    EXPECT_TRUE(waiting.Days().empty());
    EXPECT_HAS(waiting.LastProblem(), "does not answer");
}

TEST(PictureSourceTest, AServerThatLiesIsNotBelieved) {
    FakeServer fake;
    HttpPictureSource remote("127.0.0.1", fake.http.port, "");
    std::string huge;
    while (huge.size() <= kMaxListReply)
        huge += "20100523\n";
    for (const std::string& days : {std::string("<html>hello</html>\n"), huge}) {
        fake.Reply("/pictures/days", 200, days);
        EXPECT_TRUE(remote.Days().empty());
        EXPECT_FALSE(remote.LastProblem().empty());
    }
    fake.Reply("/pictures/minutes", 200, "600\n1440\n");
    EXPECT_TRUE(remote.Minutes("20100523").empty());
    EXPECT_FALSE(remote.LastProblem().empty());
    fake.Reply("/pictures/list", 200, "1 0 5\n1 5 99999999999\n");
    const auto pictures = remote.Pictures("20100523", 600, 0);
    EXPECT_TRUE(pictures.pictures.empty());
    EXPECT_HAS(pictures.problem, "makes no sense");
    std::vector<std::uint8_t> bytes;
    const playback::PictureRef picture{0, 0, 10};
    for (const std::string& body :
         {std::string("short"), std::string("more than ten bytes"), std::string(1 << 20, 'x')}) {
        fake.Reply("/pictures/picture", 200, body);
        EXPECT_FALSE(remote.Read("20100523", 600, picture, bytes)) << body.size();
        EXPECT_TRUE(bytes.empty());
    }
    fake.Reply("/pictures/picture", kUnreadablePicture, "cut\x1b[31m short\n");
    const platform::Outcome cut = remote.Read("20100523", 600, picture, bytes);
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().kind, platform::Error::Kind::kDamaged);
    EXPECT_EQ(cut.error().Said(), "cut [31m short");
    // After all that the connection still serves a true answer.
    fake.Reply("/pictures/picture", 200, "0123456789");
    ASSERT_TRUE(remote.Read("20100523", 600, picture, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
}

// The reply parsers: a reply that is not ours is refused whole, never half taken, and ours (here
// the extremes no recorder made) read back as they were written.
TEST(PictureWireTest, ExtremeValuesReadBackAsWrittenAndAProblemCrossesAsOneLine) {
    playback::MinutePictures pictures, got;
    pictures.pictures = {{0, 0, 0}, {999999999999, 123456789012, kMaxPictureSize}};
    std::string problem;
    ASSERT_TRUE(ParsePictures(FormatPictures(pictures), got, problem)) << problem;
    ASSERT_EQ(got.pictures.size(), 2u);
    EXPECT_EQ(got.pictures[1].rectime, 999999999999);
    EXPECT_EQ(got.pictures[1].pos, 123456789012);
    EXPECT_EQ(got.pictures[1].size, kMaxPictureSize);
    std::vector<int> minutes;
    ASSERT_TRUE(ParseMinutes(FormatMinutes({0, 1439}), minutes, problem)) << problem;
    EXPECT_EQ(minutes, (std::vector<int>{0, 1439}));
    // A problem cannot forge pictures.
    pictures.pictures.clear();
    pictures.problem = "the index of 10:02 cannot be read: file is not a database\n1 0 5";
    ASSERT_TRUE(ParsePictures(FormatPictures(pictures), got, problem)) << problem;
    EXPECT_EQ(got.problem, "the index of 10:02 cannot be read: file is not a database 1 0 5");
    EXPECT_TRUE(got.pictures.empty());
    ASSERT_TRUE(ParsePictures("problem " + std::string(5000, 'x') + "\x1b[2J\n", got, problem));
    EXPECT_EQ(got.problem, std::string(kMaxProblemText, 'x'));
    // A server that says there is a problem without saying which still means one.
    ASSERT_TRUE(ParsePictures("problem \n", got, problem));
    EXPECT_FALSE(got.problem.empty());
}

TEST(PictureWireTest, RefusesRepliesThatAreNotOurs) {
    std::string problem;
    std::vector<std::string> days{"kept?"};
    for (const char* body : {"2010052\n", "201005223\n", "2010052x\n", "20100522", "20100522\r\n",
                             "\n", "20100522\n../../etc\n", "-2010052\n"}) {
        EXPECT_FALSE(ParseDays(body, days, problem)) << body;
        EXPECT_TRUE(days.empty()) << body;
        EXPECT_FALSE(problem.empty());
    }
    std::vector<int> minutes{1};
    for (const char* body : {"1440\n", "-1\n", "600\n600\n", "601\n600\n", " 5\n", "+5\n", "5",
                             "99999999999999999999999\n", "600\nabc\n", "0x10\n", "1e3\n"}) {
        EXPECT_FALSE(ParseMinutes(body, minutes, problem)) << body;
        EXPECT_TRUE(minutes.empty()) << body;
    }
    playback::MinutePictures pictures;
    for (const char* body :
         {"1 2\n", "1 2 3 4\n", "1 2 -3\n", "1 -2 3\n", "-1 2 3\n", "1 2 16777217\n",
          "9223372036854775808 0 1\n", "1  2 3\n", "a b c\n", "1 2 3", "1 2 3\n4 5\n",
          "problem x\n1 2 3\n", "1 2 3\nproblem x\n", "1\t2\t3\n"}) {
        pictures.pictures = {{1, 2, 3}};
        pictures.problem = "old";
        EXPECT_FALSE(ParsePictures(body, pictures, problem)) << body;
        EXPECT_TRUE(pictures.pictures.empty() && pictures.problem.empty()) << body;
    }
}
