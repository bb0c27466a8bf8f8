// The window in remote mode with the real link to a share server on loopback.
#include <QLabel>

#include "DialogFixture.h"
#include "share/HttpShareClient.h"
#include "share/ShareServer.h"

namespace fs = std::filesystem;

class RemoteWindowTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        ShareService::Settings settings;
        settings.storageRoot = "C:\\QorData";
        settings.cameras = 8;
        server = std::make_unique<share::ShareServer>(settings, share::ShareServer::Options());
        const platform::Outcome started = server->Start("127.0.0.1", 0);
        ASSERT_TRUE(started) << started.error().Said();
        usb = MapDrive('E', "removable");
    }
    void TearDown() override {
        dlg.reset();
        client.reset();
        server->Stop();
        DialogTest::TearDown();
    }
    std::unique_ptr<share::ShareServer> server;
    std::unique_ptr<share::HttpShareClient> client;
    std::string usb;
};

// The image the link fetches is checked byte for byte where the link lives; here the window
// drives it, its remote Add saying that it waits.
TEST_F(RemoteWindowTest, TheWindowFetchesTheScheduleFromTheRemoteRecorder) {
    client = std::make_unique<share::HttpShareClient>();
    Open({.shareClient = client.get()});
    SendHostRecord({.camCount = 8,
                    .port = server->port(),
                    .modelCode = 0x670,
                    .language = "eng",
                    .serverAddress = "127.0.0.1"});
    EXPECT_EQ(ctx().m_host.localMode, 0);
    dlg->preview()->OnDateListClick(1);  // 2010-05-22
    ASSERT_TRUE(Until([&] { return Rows(ctl::kStartHour).contains("10"); }));
    dlg->preview()->OnDateListClick(0);  // 2010-05-23, the newest
    EXPECT_EQ(ctx().m_day.date, "20100523");
    ASSERT_TRUE(Until([&] { return Rows(ctl::kStartHour).contains("10"); }));
    // A remote Add says it waits in the status line, which stays hidden while no pass runs.
    QWidget* status = W<QWidget>(ctl::kStatusLine);
    ASSERT_FALSE(status->isVisibleTo(dlg.get()));
    AddEntry("02", "05");
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(), Text("M010015"));
    EXPECT_FALSE(status->isVisibleTo(dlg.get()));
    ASSERT_TRUE(Until([&] { return Rows(ctl::kScheduleList).size() == 1; })) << LastBox();
    EXPECT_FALSE(status->isVisibleTo(dlg.get()));
    const std::string target = usb + "/Remote";
    fs::create_directories(target);
    dlg->OnBrowseTarget(&target);
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    ASSERT_TRUE(Until([&] { return boxes.shown.size() > before && !ctx().m_run.running; }))
        << LastBox();
    EXPECT_EQ(LastBox(), Text("M010014"));
    EXPECT_GE(FilesBelow(target).size(), 10u);  // four minutes' two files, the map, the information
    EXPECT_EQ(Sha256sumCheck(target), 0);
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/2010_05_23=10,02~10,05"));
}
