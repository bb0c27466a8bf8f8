// What quillon-share's log says, on its own and from a server in this process.
#include "ShareFixture.h"
#include "share/ShareLog.h"

#include <numeric>

namespace {
// The lines a Log writes, kept for the test.
class Lines {
  public:
    share::Log::Sink Sink() {
        return [this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_);
            lines_.emplace_back(line);
        };
    }
    std::vector<std::string> All() {
        std::lock_guard<std::mutex> lock(m_);
        return lines_;
    }
    // The lines that hold every one of the parts.
    std::vector<std::string> With(std::initializer_list<std::string> parts) {
        std::vector<std::string> found;
        for (const auto& line : All())
            if (std::all_of(parts.begin(), parts.end(),
                            [&](const auto& p) { return line.find(p) != std::string::npos; }))
                found.push_back(line);
        return found;
    }
    std::size_t Count(std::initializer_list<std::string> parts) { return With(parts).size(); }
    std::string Text() {
        const auto all = All();
        return std::accumulate(all.begin(), all.end(), std::string());
    }

  private:
    std::mutex m_;
    std::vector<std::string> lines_;
};

share::HttpRequest Request(const std::string& method, const std::string& target) {
    share::HttpRequest req;
    req.method = method;
    req.target = target;
    req.path = target.substr(0, target.find('?'));
    req.remote = "10.0.0.7";
    return req;
}
}  // namespace

TEST(ShareLogTest, TheJournalGetsLevelPrefixesATerminalPlainLinesAndNeitherALineBreakOfAClient) {
    Lines journalLines, plainLines;
    share::Log journal("quillon-share", true, journalLines.Sink());
    share::Log plain("quillon-share", false, plainLines.Sink());
    for (share::Log* log : {&journal, &plain}) {
        log->Write(share::LogLevel::kError, "cannot listen");
        log->Write(share::LogLevel::kWarning, "GET /x\n<3>forged -> 401");
        log->Write(share::LogLevel::kNotice, "serving");
        log->Write(share::LogLevel::kInfo, "GET /v1/file -> 200");
        log->Write(share::LogLevel::kDebug, "building 10:00");  // below the level set
    }
    EXPECT_EQ(journalLines.All(),
              (std::vector<std::string>{"<3>cannot listen\n", "<4>GET /x?<3>forged -> 401\n",
                                        "<5>serving\n", "<6>GET /v1/file -> 200\n"}));
    EXPECT_EQ(plainLines.All(),
              (std::vector<std::string>{"quillon-share: error: cannot listen\n",
                                        "quillon-share: warning: GET /x?<3>forged -> 401\n",
                                        "quillon-share: serving\n",
                                        "quillon-share: GET /v1/file -> 200\n"}));
    // --quiet keeps what went wrong and the notices, --verbose adds the debug lines.
    Lines quietLines;
    share::Log quiet("quillon-share", true, quietLines.Sink());
    quiet.SetMost(share::LogLevel::kNotice);
    quiet.Write(share::LogLevel::kInfo, "answered");
    quiet.Write(share::LogLevel::kWarning, "refused");
    quiet.SetMost(share::LogLevel::kDebug);
    quiet.Write(share::LogLevel::kDebug, "building");
    EXPECT_EQ(quietLines.All(), (std::vector<std::string>{"<4>refused\n", "<7>building\n"}));
}

TEST(ShareLogTest, AnOutcomeSaysWhoAskedWhatAndHowItEndedAndItsLevelFollowsTheEnd) {
    const share::HttpRequest file = Request("GET", "/v1/file?entry=e&name=a.dat");
    const share::HttpRequest post = Request("POST", "/v1/index");
    const std::string asked = "10.0.0.7 GET /v1/file?entry=e&name=a.dat -> ";
    // The outcome's text ("" not looked at), and its level for a routine request or not.
    const auto expect = [](const share::HttpOutcome& o, const std::string& text, bool routine,
                           std::optional<share::LogLevel> level) {
        SCOPED_TRACE(share::OutcomeText(o));
        EXPECT_EQ(text.empty() ? text : share::OutcomeText(o), text);
        EXPECT_EQ(level ? std::optional(share::OutcomeLevel(o, routine)) : level, level);
    };
    using L = share::LogLevel;
    expect({"10.0.0.7", &file, 200, 5120, true, ""}, asked + "200, 5120 bytes", false, L::kInfo);
    expect({"10.0.0.7", &file, 200, 5120, true, ""}, "", true, L::kDebug);
    // A failure is a warning even for a request that is routine when it succeeds.
    expect({"10.0.0.7", &file, 401, 27, true, "a bearer token is required"},
           asked + "401, 27 bytes: a bearer token is required", true, L::kWarning);
    expect({"10.0.0.7", &file, 500, 30, true, "cannot be read"}, "", false, L::kError);
    expect({"10.0.0.7", &file, 200, 65536, false, ""},
           asked + "200, 65536 bytes, cut short: the client no longer took the reply", true,
           L::kWarning);
    expect({"10.0.0.7", &post, 0, 0, false, "its body did not arrive"},
           "10.0.0.7 POST /v1/index dropped: its body did not arrive", false, L::kWarning);
    expect({"10.0.0.8", nullptr, 431, 0, true, "the head is too large"},
           "10.0.0.8 refused with 431: the head is too large", false, std::nullopt);
    expect({"10.0.0.9", nullptr, 0, 0, false, "turned away: too many"},
           "10.0.0.9: turned away: too many", false, L::kWarning);
    // A token a client put in the query is not written down, whatever its parameter's case.
    const share::HttpRequest leaky = Request("GET", "/days?Access_Token=s3cret&day=20100523");
    const std::string text = share::OutcomeText({"10.0.0.7", &leaky, 404, 14, true, ""});
    EXPECT_LACKS(text, "s3cret");
    EXPECT_HAS(text, "day=20100523");
}

class ServerLogTest : public ShareFixture {
  protected:
    void Serve(const std::string& token, share::LogLevel most,
               share::MhdServer::Limits limits = {}) {
        log = std::make_unique<share::Log>("quillon-share", true, lines.Sink());
        log->SetMost(most);
        ServeWith({.token = token, .log = log.get(), .limits = limits});
    }
    Lines lines;
    std::unique_ptr<share::Log> log;
};

TEST_F(ServerLogTest,
       EveryRouteWantsTheTokenAndEveryRefusalIsAWarningEvenWhenAnsweredAreNotLogged) {
    Serve("s3cret-token-1234", share::LogLevel::kNotice);  // --quiet
    httplib::Client http("127.0.0.1", server->port());
    auto bare = http.Post("/v1/index", kDay, "text/plain");
    ASSERT_EQ(bare->status, 401);
    EXPECT_EQ(bare->body.find('\0'), std::string::npos);  // no record leaked with it
    // Every route wants the token, one that does not exist too.
    for (const char* path : {"/v1/image/1", "/v1/file?entry=x&name=y", "/v1/nowhere"})
        EXPECT_EQ(http.Get(path)->status, 401) << path;
    http.set_bearer_token_auth("wrong");
    ASSERT_EQ(http.Post("/v1/index", kDay, "text/plain")->status, 401);
    http.set_bearer_token_auth("s3cret-token-1234");
    ASSERT_EQ(http.Post("/v1/index", kDay, "text/plain")->status, 200);
    ASSERT_EQ(http.Get("/v1/image/99")->status, 404);
    // A head that is no HTTP never reaches a route, and is said all the same.
    EXPECT_EQ(RawClient(server->port()).Asked("NONSENSE\r\n\r\n", 2), 400);
    // An answer's line is written once the answer went out: the last two may come after it.
    ASSERT_TRUE(WaitUntil([&] {
        return lines.Count({"GET /v1/image/99 -> 404"}) && lines.Count({"refused with 4"});
    })) << lines.Text();
    EXPECT_EQ(lines.Count({"<4>127.0.0.1 POST /v1/index -> 401"}), 2u) << lines.Text();
    EXPECT_EQ(lines.Count({"-> 200"}), 0u) << lines.Text();
    EXPECT_EQ(lines.Count({"<4>127.0.0.1 GET /v1/image/99 -> 404", "no such image job"}), 1u)
        << lines.Text();
    EXPECT_EQ(lines.Count({"<4>127.0.0.1 refused with 4"}), 1u) << lines.Text();
    for (const auto& line : lines.All())
        EXPECT_LACKS(line, "s3cret");
}

TEST_F(ServerLogTest, AnImageBuiltIsOneLineAndTheStatusPollsAndItsFilesAreDebugLines) {
    Serve("", share::LogLevel::kDebug);  // --verbose
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    ASSERT_TRUE(WaitUntil([&] { return lines.Count({"built: "}); })) << lines.Text();
    EXPECT_EQ(lines.Count({"<6>image 2010_05_23=10,00~10,03 for 127.0.0.1 built: ",
                           std::to_string(status.files.size()) + " files"}),
              1u)
        << lines.Text();
    EXPECT_EQ(lines.Count({"<6>127.0.0.1 POST /v1/image -> 200"}), 1u) << lines.Text();
    // Polled every few milliseconds while it builds: at info they would drown the rest.
    const auto polls = lines.With({"127.0.0.1 GET /v1/image/"});
    EXPECT_GT(polls.size(), 0u) << lines.Text();
    for (const std::string& poll : polls)  // one look at the lines: more may come meanwhile
        EXPECT_EQ(poll.rfind("<7>", 0), 0u) << poll;
    EXPECT_GT(lines.Count({"<7>building "}), 0u) << lines.Text();
    ASSERT_EQ(http.Get(FilePath(status, status.files.front().name))->status, 200);
    // Said once the answer went out, which may be after the client has it whole.
    const std::string sent = "-> 200, " + std::to_string(status.files.front().size) + " bytes";
    ASSERT_TRUE(WaitUntil([&] {
        return lines.Count({"GET /v1/file?entry=", sent});
    })) << lines.Text();
    EXPECT_EQ(lines.Count({"<6>127.0.0.1 GET /v1/file?entry=", sent}), 1u) << lines.Text();
}

TEST_F(ServerLogTest, AnImageThatCannotBeBuiltIsAWarningThatNamesTheWorkingFolderOnce) {
    Serve("", share::LogLevel::kNotice);
    // The server's working folder taken by a file after its start, as a full or read-only disk
    // would take it.
    WriteText(driveC() + "/NetBackupTemp/Reserved", "not a folder");
    httplib::Client http("127.0.0.1", server->port());
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kFailed);
    // One separator between the folders, in what the client is told and in the log.
    EXPECT_HAS(status.problem, "working folder C:\\NetBackupTemp\\Reserved");
    const auto refused = [&] {
        return lines.Count({"<4>image 2010_05_23=10,00~10,03 for 127.0.0.1 not built",
                            "C:\\NetBackupTemp\\Reserved"});
    };
    // The warning is written as the build ends, which the status may tell the client first.
    ASSERT_TRUE(WaitUntil(refused)) << lines.Text();
    EXPECT_EQ(refused(), 1u) << lines.Text();
    EXPECT_LACKS(lines.Text(), "\\\\");
}

TEST_F(ServerLogTest, AnAddressOverItsShareOfConnectionsIsSaidOnceUntilItIsBelowItAgain) {
    Serve("", share::LogLevel::kInfo, {.perAddress = 2});
    const std::string line = "<4>127.0.0.1: turned away: too many connections from this address\n";
    auto said = [&] {
        const auto all = lines.All();
        return std::count(all.begin(), all.end(), line);
    };
    auto first = std::make_unique<RawClient>(server->port());
    RawClient second(server->port());
    ASSERT_TRUE(first->connected() && second.connected());
    // A flood from one address is one line, not one a connection.
    for (int i = 0; i < 5; ++i) {
        RawClient over(server->port());
        EXPECT_TRUE(over.ClosedWithin(2)) << i;
    }
    EXPECT_EQ(said(), 1) << lines.Text();
    // Once one of its connections has ended, the next one over its share is said again.
    first.reset();
    // Answered, and so kept, once the server has seen the first one end.
    std::unique_ptr<RawClient> taken;
    ASSERT_TRUE(WaitUntil([&] {
        auto again = std::make_unique<RawClient>(server->port());
        if (again->Asked("GET /v1/image/99 HTTP/1.1\r\nHost: x\r\n\r\n") == 404)
            taken = std::move(again);
        return taken != nullptr;
    }));
    RawClient third(server->port());
    EXPECT_TRUE(third.ClosedWithin(2));
    EXPECT_EQ(said(), 2) << lines.Text();
}
