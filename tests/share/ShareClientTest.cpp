// HttpShareClient against an in-process quillon-share over a real recorder: the answers equal
// what ShareService computes, an image arrives byte for byte in the order the dialog relies
// on and the server keeps no copy, a dropped connection is resumed, and a cancel leaves no
// temporary data anywhere.
#include "share/HttpShareClient.h"

#include <cstring>
#include <filesystem>
#include <map>

#include "DroppingProxy.h"
#include "ShareFixture.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

// The download holds every file the server built, equal byte for byte, except perhaps the
// entry's information and minute map files, which the requester makes itself.
void ExpectServedCopy(const std::map<std::string, std::string>& got,
                      const std::map<std::string, std::string>& served) {
    ASSERT_FALSE(served.empty());
    for (const auto& [name, bytes] : served) {
        auto it = got.find(name);
        if (name == "BackupInfo.dat" || name == "20100523.DAT")
            continue;
        ASSERT_NE(it, got.end()) << name;
        EXPECT_EQ(it->second, bytes) << name;
    }
    for (const auto& [name, bytes] : got)
        EXPECT_TRUE(served.count(name)) << name;
}

bool HasPartFiles(const std::string& folder) {
    for (const auto& name : NamesBelow(folder))
        if (name.find(platform::AtomicFile::kTempSuffix) != std::string::npos)
            return true;
    return false;
}

}  // namespace

class ShareClientTest : public ShareFixture {
  protected:
    void SetUp() override {
        ShareFixture::SetUp();
        Serve();
        client.Connect("127.0.0.1", server->port(), &receiver);
    }
    void TearDown() override {
        receiver.onAnswer = nullptr;
        ShareFixture::TearDown();
    }
    share::HttpShareClient client;
    RecordingReceiver receiver;
};

TEST_F(ShareClientTest, IndexAndSizeAnswersAreShareServicesRecordsByteForByte) {
    ShareService local(Settings());
    const _INDEXREPLY index = local.IndexReply(kDay);
    ASSERT_EQ(index.bFound, 1);
    ASSERT_EQ(client.InitSock(), 1);
    client.ReqClient_LoadIndexData(kDay);
    const Answer got = receiver.WaitFor(share::kCodeIndex);
    ASSERT_EQ(got.size, sizeof(_INDEXREPLY));
    ASSERT_EQ(got.record.size(), sizeof(_INDEXREPLY));
    EXPECT_EQ(std::memcmp(got.record.data(), &index, sizeof index), 0);
    const _BACKUPADDTOTALSIZE request = SizeRequest(index);
    const _ADDSIZEREPLY size = local.AddSize(request);
    EXPECT_GT(size.nSize, 0u);
    client.GetAddTotalSize(request);
    const Answer sized = receiver.WaitFor(share::kCodeAddSize);
    ASSERT_EQ(sized.record.size(), sizeof(_ADDSIZEREPLY));
    EXPECT_EQ(std::memcmp(sized.record.data(), &size, sizeof size), 0);
    // A day without recordings is an answer too, not a failure.
    // Counted before the request: its answer may come before the request call returns.
    const std::size_t before = receiver.Count();
    client.ReqClient_LoadIndexData("20100524");
    const Answer empty = receiver.WaitFor(share::kCodeIndex, before);
    ASSERT_EQ(empty.record.size(), sizeof(_INDEXREPLY));
    EXPECT_EQ(empty.record[0], 0);
    EXPECT_EQ(client.LastError(), "");
}

TEST_F(ShareClientTest, AnImageArrivesWholeInTheDialogsOrderAlsoOverADroppedConnection) {
    DriveChain(client, receiver);
    // Taken while the server still holds its image: after code 5 the client deletes it.
    std::map<std::string, std::string> served;
    receiver.onAnswer = [&, drive = receiver.onAnswer](const Answer& a) {
        if (a.message == share::kShareMessage && a.code == share::kCodeFetched)
            served = FilesBelow(ServerImage() + "/" + kDay);
        drive(a);
    };
    client.ReqSetAddBackupDataPath(ImageRequest());
    const Answer download = receiver.WaitFor(share::kCodeDownload);
    EXPECT_TRUE(download.null);
    EXPECT_EQ(download.size, 5u);  // the slot of the request
    receiver.WaitFor(share::kCodeDeleted);
    const auto got = FilesBelow(Downloaded());
    ASSERT_FALSE(got.empty());
    ExpectServedCopy(got, served);
    EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                            [](const auto& f) { return f.first.rfind("Audio/", 0) == 0; }));
    EXPECT_FALSE(fs::exists(ServerImage()));
    // 4 first, then progress texts, then 5 and 6; nothing after.
    const auto codes = receiver.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 4ul);
    const auto four = std::find(codes.begin(), codes.end(), 4ul);
    ASSERT_NE(four, codes.end());
    std::vector<unsigned long> tail(four, codes.end());
    ASSERT_GE(tail.size(), 4u);
    EXPECT_EQ(tail.front(), 4ul);
    EXPECT_EQ(tail[tail.size() - 2], 5ul);
    EXPECT_EQ(tail.back(), 6ul);
    EXPECT_TRUE(
        std::all_of(tail.begin() + 1, tail.end() - 2, [](unsigned long c) { return c == 8; }));
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 7ul), 0);
    // Every file announced with its place in the list as far as it is known (the list grows
    // while the server builds), the last as the last of all, and ended with a whole progress
    // record.
    const auto all = receiver.All();
    const std::string count = std::to_string(got.size());
    bool sawFirst = false, sawCount = false, sawWhole = false;
    for (const auto& a : all) {
        if (a.message == share::kShareMessage && a.code == 8 &&
            a.text.find(" 1/") != std::string::npos)
            sawFirst = true;
        if (a.message == share::kShareMessage && a.code == 8 &&
            a.text.find(" " + count + "/" + count) != std::string::npos)
            sawCount = true;
        if (a.message == share::kProgressMessage && a.total > 0 && a.done == a.total)
            sawWhole = true;
    }
    EXPECT_TRUE(sawFirst);
    EXPECT_TRUE(sawCount);
    EXPECT_TRUE(sawWhole);

    // Once more through a connection dropped in the middle of a file: it is resumed from where
    // it stopped, and the copy is as whole.
    std::filesystem::remove_all(prefix() + "/drive_e/Backup");
    DroppingProxy proxy(server->port(), 1500);
    client.Connect("127.0.0.1", proxy.port(), &receiver);
    const std::size_t again = receiver.Count();
    client.ReqSetAddBackupDataPath(ImageRequest());
    receiver.WaitFor(share::kCodeDeleted, again);
    EXPECT_TRUE(proxy.dropped());
    EXPECT_TRUE(proxy.sawRange());
    ExpectServedCopy(FilesBelow(Downloaded()), served);
    const auto resumed = receiver.Codes();
    EXPECT_EQ(std::count(resumed.begin(), resumed.end(), 7ul), 0);
}

TEST_F(ShareClientTest, CancelDuringTheBuildOrTheDownloadLeavesNoTemporaryData) {
    // During the build: the server holds its first file until the cancel has reached it, and
    // the client cancels at its first progress record.
    Serve("", [](const std::string&, const std::atomic<bool>& cancel) {
        for (int i = 0; i < 6000 && !cancel; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    client.Connect("127.0.0.1", server->port(), &receiver);
    std::atomic<bool> asked{false};
    receiver.onAnswer = [&](const Answer& a) {
        if (a.message == share::kProgressMessage && !asked.exchange(true))
            client.ReqClient_DownloadCancel();
    };
    client.ReqSetAddBackupDataPath(ImageRequest("1005"));
    const Answer ended = receiver.WaitFor(share::kCodeEnded);
    EXPECT_EQ(ended.text, "cancelled");
    EXPECT_FALSE(fs::exists(ServerImage()));
    Serve();
    client.Connect("127.0.0.1", server->port(), &receiver);
    // During the download: at the first progress record after code 4.
    const std::size_t from = receiver.Count();
    DriveChain(client, receiver);
    std::atomic<bool> downloading{false};
    receiver.onAnswer = [&, drive = receiver.onAnswer](const Answer& a) {
        if (a.message == share::kShareMessage && a.code == share::kCodeDownload)
            downloading = true;
        if (a.message == share::kProgressMessage && downloading)
            client.ReqClient_DownloadCancel();
        drive(a);
    };
    client.ReqSetAddBackupDataPath(ImageRequest());
    EXPECT_EQ(receiver.WaitFor(share::kCodeEnded, from).text, "cancelled");
    EXPECT_FALSE(fs::exists(ServerImage()));
    EXPECT_FALSE(HasPartFiles(prefix() + "/drive_e"));
    const auto codes = receiver.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 5ul), 0);
    EXPECT_EQ(client.LastError(), "cancelled");
}

TEST_F(ShareClientTest, AServerThatCannotBeReachedIsAnsweredWithItsReason) {
    const int port = server->port();
    server->Stop();
    client.Connect("127.0.0.1", port, &receiver);
    client.ReqClient_LoadIndexData(kDay);
    const Answer index = receiver.WaitFor(share::kCodeIndex);
    EXPECT_TRUE(index.null);
    const auto all = receiver.All();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].code, 8ul);  // the reason comes before the empty answer
    EXPECT_HAS(all[0].text, "cannot be reached");
    client.ReqSetAddBackupDataPath(ImageRequest());
    const Answer ended = receiver.WaitFor(share::kCodeEnded);
    EXPECT_HAS(ended.text, "cannot be reached");
    EXPECT_FALSE(client.LastError().empty());
}

TEST_F(ShareClientTest, AnImageTheServerCannotMakeEndsTheBackupWithItsReason) {
    _BACKUPMAKEIMAGE bad = ImageRequest();
    SetKeys(bad.entry, std::string(kDay) + "1000", "201005241000");  // spans two days
    client.ReqSetAddBackupDataPath(bad);
    const Answer ended = receiver.WaitFor(share::kCodeEnded);
    EXPECT_HAS(ended.text, "could not make the image");
    const auto codes = receiver.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 4ul), 0);
}
