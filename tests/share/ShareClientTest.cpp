// HttpShareClient against an in-process quillon-share over a real recorder.
#include "LoopbackProxy.h"
#include "ShareFixture.h"
#include "platform/AtomicFile.h"

namespace {
// The download holds every file the server built, equal byte for byte, except the entry's
// information and minute map files, which the requester makes itself.
void ExpectServedCopy(const std::map<std::string, std::string>& got,
                      const std::map<std::string, std::string>& served) {
    ASSERT_FALSE(served.empty());
    for (const auto& [name, bytes] : served) {
        if (name == "BackupInfo.dat" || name == "20100523.DAT")
            continue;
        ASSERT_TRUE(got.count(name)) << name;
        EXPECT_EQ(got.at(name), bytes) << name;
    }
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(served.count(name)) << name;
}
}  // namespace

class ShareClientTest : public ShareFixture {
  protected:
    void SetUp() override {
        ShareFixture::SetUp();
        Serve();
        client.Connect("127.0.0.1", server->port());
    }
    share::HttpShareClient client;
    RecordingEvents events;
};

TEST_F(ShareClientTest, IndexAndSizeAnswersAreShareServicesRecordsByteForByte) {
    ShareService local(serveSettings);
    const _INDEXREPLY index = local.IndexReply(kDay);
    ASSERT_EQ(index.bFound, 1);
    const backup::DayIndexAnswer got = IndexOf(client, kDay);
    ASSERT_TRUE(got.index) << got.why;
    EXPECT_EQ(std::memcmp(&*got.index, &index, sizeof index), 0);
    const _BACKUPADDTOTALSIZE request = SizeRequest(index);
    const _ADDSIZEREPLY size = local.AddSize(request);
    EXPECT_GT(size.nSize, 0u);
    const backup::EntrySizeAnswer sized = SizeOf(client, request);
    ASSERT_TRUE(sized.size) << sized.why;
    EXPECT_EQ(std::memcmp(&*sized.size, &size, sizeof size), 0);
    // A day without recordings is an answer too, not a failure.
    const backup::DayIndexAnswer empty = IndexOf(client, "20100524");
    ASSERT_TRUE(empty.index) << empty.why;
    EXPECT_EQ(empty.index->bFound, 0);
    EXPECT_EQ(client.LastError(), "");
}

TEST_F(ShareClientTest, AnImageArrivesWholeInTheDialogsOrderAlsoOverADroppedConnection) {
    // Taken while the server still holds its image: once downloaded, the client deletes it.
    std::map<std::string, std::string> served;
    events.onEvent = [&](const Told& t) {
        if (t.kind == "downloaded")
            served = FilesBelow(ServerImage() + "/" + kDay);
    };
    const backup::FetchResult fetched = client.FetchEntry(Fetch(ImageRequest()), events);
    ASSERT_TRUE(fetched.fetched) << fetched.why;
    const auto got = FilesBelow(Downloaded());
    ExpectServedCopy(got, served);
    EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                            [](const auto& f) { return f.first.rfind("Audio/", 0) == 0; }));
    EXPECT_FALSE(fs::exists(ServerImage()));
    // A text for each file, then the download's end; nothing after.
    const std::vector<Told> told = events.All();
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back().kind, "downloaded");
    EXPECT_EQ(events.Count("downloaded"), 1u);
    EXPECT_EQ(events.Count("download"), 1u);
    EXPECT_GE(events.Count("status"), got.size());
    // Every file announced with its place in the list as far as it is known (the list grows
    // while the server builds), the last as the last of all, and ended with a whole progress
    // record.
    const std::string count = std::to_string(got.size());
    bool sawFirst = false, sawCount = false, sawWhole = false;
    for (const Told& t : told) {
        const bool text = t.kind == "status";
        sawFirst = sawFirst || (text && t.text.find(" 1/") != std::string::npos);
        sawCount =
            sawCount || (text && t.text.find(" " + count + "/" + count) != std::string::npos);
        sawWhole = sawWhole || (t.kind == "progress" && t.total > 0 && t.done == t.total);
    }
    EXPECT_TRUE(sawFirst && sawCount && sawWhole);
    // Once more through a connection dropped in the middle of a file: it is resumed from where
    // it stopped, and the copy is as whole.
    fs::remove_all(prefix() + "/drive_e/Backup");
    FaultProxy proxy(server->port(), {1500});
    client.Connect("127.0.0.1", proxy.port());
    const backup::FetchResult again = client.FetchEntry(Fetch(ImageRequest()), events);
    EXPECT_TRUE(again.fetched) << again.why;
    EXPECT_TRUE(proxy.dropped() && proxy.sawRange());
    ExpectServedCopy(FilesBelow(Downloaded()), served);
}

TEST_F(ShareClientTest, CancelDuringTheBuildOrTheDownloadLeavesNoTemporaryData) {
    // During the build: the server holds its first file until the cancel has reached it, and
    // the client is cancelled at its first progress record.
    Serve("", [](const std::string&, const std::atomic<bool>& cancel) {
        WaitUntil([&] { return cancel.load(); });
    });
    client.Connect("127.0.0.1", server->port());
    backup::FetchRequest building = Fetch(ImageRequest("1005"));
    events.onEvent = [cancel = building.cancel](const Told& t) {
        if (t.kind == "progress")
            cancel->Cancel();
    };
    EXPECT_EQ(client.FetchEntry(building, events).why, "cancelled");
    EXPECT_FALSE(fs::exists(ServerImage()));
    // During the download: at the first progress record after the first file's text.
    Serve();
    client.Connect("127.0.0.1", server->port());
    RecordingEvents downloading;
    backup::FetchRequest request = Fetch(ImageRequest());
    std::atomic<bool> begun{false};
    downloading.onEvent = [&, cancel = request.cancel](const Told& t) {
        begun = begun || t.kind == "status";
        if (t.kind == "progress" && begun)
            cancel->Cancel();
    };
    const backup::FetchResult ended = client.FetchEntry(request, downloading);
    EXPECT_FALSE(ended.fetched);
    EXPECT_EQ(ended.why, "cancelled");
    EXPECT_FALSE(fs::exists(ServerImage()));
    for (const auto& name : NamesBelow(prefix() + "/drive_e"))
        EXPECT_LACKS(name, platform::AtomicFile::kTempSuffix);
    EXPECT_EQ(downloading.Count("downloaded"), 0u);
    EXPECT_EQ(client.LastError(), "cancelled");
}

// Why the server could not make an image is HostileServerTest's; here a server away.
TEST_F(ShareClientTest, AServerAwayEndsTheBackupWithTheReason) {
    // A server that cannot be reached: the answer says why, with no record.
    const int port = server->port();
    server->Stop();
    client.Connect("127.0.0.1", port);
    const backup::DayIndexAnswer index = IndexOf(client, kDay);
    EXPECT_FALSE(index.index);
    EXPECT_HAS(index.why, "cannot be reached");
    const backup::FetchResult away = client.FetchEntry(Fetch(ImageRequest()), events);
    EXPECT_FALSE(away.fetched);
    EXPECT_HAS(away.why, "cannot be reached");
    EXPECT_FALSE(client.LastError().empty());
}
