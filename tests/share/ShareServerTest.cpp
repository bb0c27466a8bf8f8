// quillon-share's routes as any HTTP client meets them: the token, the record sizes, ranges of
// an image file, and the names it will serve.
#include <httplib.h>

#include "ShareFixture.h"
#include "share/ShareAccess.h"
#include "share/ShareLink.h"
#include "share/ShareReplies.h"

class ShareServerTest : public ShareFixture {
  protected:
    httplib::Client Client() { return httplib::Client("127.0.0.1", server->port()); }
};

TEST_F(ShareServerTest, WithATokenEveryRouteWantsItAndAWrongOneGetsNothingElse) {
    Serve("s3cret");
    auto http = Client();
    auto bare = http.Post("/v1/index", kDay, "text/plain");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->status, 401);
    EXPECT_EQ(bare->body.find('\0'), std::string::npos);  // no record leaked with it
    for (const char* path : {"/v1/image/1", "/v1/file?entry=x&name=y", "/v1/nowhere"}) {
        auto res = http.Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 401) << path;
    }
    http.set_bearer_token_auth("s3cre");
    EXPECT_EQ(http.Post("/v1/index", kDay, "text/plain")->status, 401);
    http.set_bearer_token_auth("s3crett");
    EXPECT_EQ(http.Post("/v1/index", kDay, "text/plain")->status, 401);
    http.set_bearer_token_auth("s3cret");
    auto ok = http.Post("/v1/index", kDay, "text/plain");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->body.size(), sizeof(_INDEXREPLY));
}

TEST_F(ShareServerTest, RecordsOfTheWrongSizeAndDaysOfTheWrongShapeAreRefused) {
    Serve();
    auto http = Client();
    EXPECT_EQ(http.Post("/v1/size", std::string(6159, '\0'), share::kBinaryType)->status, 400);
    EXPECT_EQ(http.Post("/v1/size", std::string(6161, '\0'), share::kBinaryType)->status, 400);
    EXPECT_EQ(http.Post("/v1/image", std::string(499, '\0'), share::kBinaryType)->status, 400);
    // A client id that is no id, or two of them, starts no build.
    const std::string request(sizeof(_BACKUPMAKEIMAGE), '\0');
    for (const char* query :
         {"?client=", "?client=ABCDEF0123456789", "?client=0123456789abcde",
          "?client=0123456789abcdef&client=0123456789abcdef", "?client=0123456789abcdef%0a"})
        EXPECT_EQ(http.Post(std::string("/v1/image") + query, request, share::kBinaryType)->status,
                  400)
            << query;
    EXPECT_EQ(http.Post("/v1/index", "2010052", "text/plain")->status, 400);
    EXPECT_EQ(http.Post("/v1/index", "2010052x", "text/plain")->status, 400);
    EXPECT_EQ(http.Get("/v1/image/99")->status, 404);
    EXPECT_EQ(http.Post("/v1/image/99/cancel", "", "text/plain")->status, 404);
}

TEST_F(ShareServerTest, OnlyTheFilesOfABuiltImageAreServedAndRangesGiveTheirPart) {
    Serve();
    auto http = Client();
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone) << status.problem;
    ASSERT_FALSE(status.files.empty());
    const share::ListedFile& f = status.files.front();
    ASSERT_GT(f.size, 10);
    const std::string path =
        "/v1/file?entry=" + share::QueryValue(status.entry) + "&name=" + share::QueryValue(f.name);
    auto whole = http.Get(path);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    ASSERT_EQ(static_cast<long long>(whole->body.size()), f.size);
    auto part = http.Get(path, {{"Range", "bytes=10-"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->body, whole->body.substr(10));

    // Names outside the listing: the recorder's own files, the entry's information file, and
    // paths that climb.
    for (const std::string name :
         {"BackupInfo.dat", "../../QorData/20100523/201005231000N.dat", "/etc/passwd", "nothing"}) {
        httplib::Params q{{"entry", status.entry}, {"name", name}};
        auto res = http.Get("/v1/file", q, httplib::Headers{});
        ASSERT_TRUE(res);
        EXPECT_NE(res->status, 200) << name;
        EXPECT_TRUE(res->body.size() < 64) << name;
    }
}

TEST_F(ShareServerTest, CancellingABuiltImageRemovesItsTemporaryData) {
    Serve();
    auto http = Client();
    const share::JobStatus status = BuildImage(http);
    ASSERT_EQ(status.state, share::JobState::kDone);
    ASSERT_TRUE(std::filesystem::exists(ServerImage()));
    EXPECT_EQ(http.Post("/v1/image/1/cancel", "", "text/plain")->status, 200);
    EXPECT_FALSE(std::filesystem::exists(ServerImage()));
    auto after = http.Get("/v1/image/1");
    EXPECT_NE(after->body.find("state cancelled"), std::string::npos) << after->body;
    // Its files are no longer served.
    const std::string path = "/v1/file?entry=" + share::QueryValue(status.entry) +
                             "&name=" + share::QueryValue(status.files[0].name);
    EXPECT_EQ(http.Get(path)->status, 404);
    // Only temporary images can be deleted by name.
    EXPECT_EQ(http.Post("/v1/delete", "C:\\QorData", "text/plain")->status, 404);
    EXPECT_EQ(http.Post("/v1/delete", "C:\\NetBackupTemp\\..\\QorData", "text/plain")->status, 404);
    EXPECT_TRUE(std::filesystem::exists(driveC() + "/QorData/20100523"));
}

TEST(ShareAccessTest, OnlyLoopbackServesWithoutATokenAndTheTokenMustMatchWhole) {
    EXPECT_EQ(share::ListenProblem("127.0.0.1", ""), "");
    EXPECT_EQ(share::ListenProblem("127.8.9.1", ""), "");
    EXPECT_EQ(share::ListenProblem("::1", ""), "");
    EXPECT_EQ(share::ListenProblem("localhost", ""), "");
    EXPECT_NE(share::ListenProblem("0.0.0.0", ""), "");
    EXPECT_NE(share::ListenProblem("::", ""), "");
    EXPECT_NE(share::ListenProblem("192.168.1.4", ""), "");
    EXPECT_NE(share::ListenProblem("recorder.local", ""), "");
    EXPECT_EQ(share::ListenProblem("0.0.0.0", "t"), "");

    EXPECT_TRUE(share::TokenMatches("Bearer abc", "abc"));
    EXPECT_FALSE(share::TokenMatches("Bearer abcd", "abc"));
    EXPECT_FALSE(share::TokenMatches("Bearer ab", "abc"));
    EXPECT_FALSE(share::TokenMatches("bearer abc", "abc"));
    EXPECT_FALSE(share::TokenMatches("Bearer ", ""));  // an empty token never matches

    auto a = share::ParseListenAddress("[::1]:7004");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "::1");
    EXPECT_EQ(a->port, 7004);
    EXPECT_FALSE(share::ParseListenAddress("::1:7004"));
    EXPECT_FALSE(share::ParseListenAddress("127.0.0.1:70000"));
    EXPECT_FALSE(share::ParseListenAddress("127.0.0.1"));
}
