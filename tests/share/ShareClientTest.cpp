// HttpShareClient against an in-process quillon-share over a real recorder: the answers equal
// what ShareService computes, an image arrives byte for byte in the order the dialog relies on
// and the server keeps no copy, a dropped connection is resumed, a cancel leaves no temporary
// data anywhere, and a failure ends the backup with its reason.
#include "share/HttpShareClient.h"

#include <cstring>
#include <filesystem>
#include <map>

#include "LoopbackProxy.h"
#include "ShareFixture.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

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

std::size_t Count(const std::vector<unsigned long>& codes, unsigned long code) {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
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
    ASSERT_TRUE(client.InitSock());
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
    // A day without recordings is an answer too, not a failure. Counted before the request: its
    // answer may come before the request call returns.
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
    ExpectServedCopy(got, served);
    EXPECT_TRUE(std::any_of(got.begin(), got.end(),
                            [](const auto& f) { return f.first.rfind("Audio/", 0) == 0; }));
    EXPECT_FALSE(fs::exists(ServerImage()));
    // 4 first, then a text for each file, then 5 and 6; nothing after.
    std::vector<unsigned long> codes = receiver.Codes();
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(codes.front(), 4ul);
    EXPECT_EQ(codes[codes.size() - 2], 5ul);
    EXPECT_EQ(codes.back(), 6ul);
    EXPECT_EQ(Count(codes, 8), codes.size() - 3);
    // Every file announced with its place in the list as far as it is known (the list grows
    // while the server builds), the last as the last of all, and ended with a whole progress
    // record.
    const std::string count = std::to_string(got.size());
    bool sawFirst = false, sawCount = false, sawWhole = false;
    for (const auto& a : receiver.All()) {
        const bool text = a.message == share::kShareMessage && a.code == 8;
        sawFirst = sawFirst || (text && a.text.find(" 1/") != std::string::npos);
        sawCount =
            sawCount || (text && a.text.find(" " + count + "/" + count) != std::string::npos);
        sawWhole =
            sawWhole || (a.message == share::kProgressMessage && a.total > 0 && a.done == a.total);
    }
    EXPECT_TRUE(sawFirst && sawCount && sawWhole);

    // Once more through a connection dropped in the middle of a file: it is resumed from where
    // it stopped, and the copy is as whole.
    fs::remove_all(prefix() + "/drive_e/Backup");
    FaultProxy proxy(server->port(), {1500});
    client.Connect("127.0.0.1", proxy.port(), &receiver);
    const std::size_t again = receiver.Count();
    client.ReqSetAddBackupDataPath(ImageRequest());
    receiver.WaitFor(share::kCodeDeleted, again);
    EXPECT_TRUE(proxy.dropped() && proxy.sawRange());
    ExpectServedCopy(FilesBelow(Downloaded()), served);
    EXPECT_EQ(Count(receiver.Codes(), 7), 0u);
}

TEST_F(ShareClientTest, CancelDuringTheBuildOrTheDownloadLeavesNoTemporaryData) {
    // During the build: the server holds its first file until the cancel has reached it, and
    // the client cancels at its first progress record.
    Serve("", [](const std::string&, const std::atomic<bool>& cancel) {
        WaitUntil([&] { return cancel.load(); });
    });
    client.Connect("127.0.0.1", server->port(), &receiver);
    std::atomic<bool> asked{false};
    receiver.onAnswer = [&](const Answer& a) {
        if (a.message == share::kProgressMessage && !asked.exchange(true))
            client.ReqClient_DownloadCancel();
    };
    client.ReqSetAddBackupDataPath(ImageRequest("1005"));
    EXPECT_EQ(receiver.WaitFor(share::kCodeEnded).text, "cancelled");
    EXPECT_FALSE(fs::exists(ServerImage()));
    // During the download: at the first progress record after code 4.
    Serve();
    client.Connect("127.0.0.1", server->port(), &receiver);
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
    for (const auto& name : NamesBelow(prefix() + "/drive_e"))
        EXPECT_LACKS(name, platform::AtomicFile::kTempSuffix);
    EXPECT_EQ(Count(receiver.Codes(), 5), 0u);
    EXPECT_EQ(client.LastError(), "cancelled");
}

TEST_F(ShareClientTest, AnImageTheServerCannotMakeOrAServerAwayEndsTheBackupWithTheReason) {
    _BACKUPMAKEIMAGE bad = ImageRequest();
    SetKeys(bad.entry, std::string(kDay) + "1000", "201005241000");  // spans two days
    client.ReqSetAddBackupDataPath(bad);
    EXPECT_HAS(receiver.WaitFor(share::kCodeEnded).text, "could not make the image");
    EXPECT_EQ(Count(receiver.Codes(), 4), 0u);
    // A server that cannot be reached: its reason comes before the empty answer.
    const int port = server->port();
    server->Stop();
    client.Connect("127.0.0.1", port, &receiver);
    const std::size_t from = receiver.Count();
    client.ReqClient_LoadIndexData(kDay);
    EXPECT_TRUE(receiver.WaitFor(share::kCodeIndex, from).null);
    const auto all = receiver.All();
    ASSERT_GE(all.size(), from + 2);
    EXPECT_EQ(all[from].code, 8ul);
    EXPECT_HAS(all[from].text, "cannot be reached");
    const std::size_t next = receiver.Count();
    client.ReqSetAddBackupDataPath(ImageRequest());
    EXPECT_HAS(receiver.WaitFor(share::kCodeEnded, next).text, "cannot be reached");
    EXPECT_FALSE(client.LastError().empty());
}
