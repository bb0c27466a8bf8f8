// The window in remote mode with the real link to a share server on loopback.
#include <QLabel>
#include <map>

#include "DialogFixture.h"
#include "share/HttpShareClient.h"
#include "share/ShareServer.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::map<std::string, std::string>& tree) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : tree)
        names.push_back(name + " " + std::to_string(bytes.size()));
    return names;
}

}  // namespace

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
    void OpenWithLink() {
        client = std::make_unique<share::HttpShareClient>();
        Open({.shareClient = client.get()});
    }
    void GoRemote() {
        SendHostRecord({.camCount = 8,
                        .port = server->port(),
                        .modelCode = 0x670,
                        .language = "eng",
                        .serverAddress = "127.0.0.1"});
    }
    // Row 0 is 2010-05-23, the newest; row 1 2010-05-22.
    void PickDay(int row) { dlg->preview()->OnDateListClick(row); }
    void AddAndBackUp(const std::string& folder) {
        const int rows = static_cast<int>(Rows(ctl::kScheduleList).size());
        ASSERT_TRUE(Until([&] { return Rows(ctl::kStartHour).contains("10"); }));
        AddEntry("02", "05");
        ASSERT_TRUE(Until([&] { return Rows(ctl::kScheduleList).size() == rows + 1; }))
            << LastBox();
        const std::string target = usb + "/" + folder;
        fs::create_directories(target);
        dlg->OnBrowseTarget(&target);
        const std::size_t before = boxes.shown.size();
        Click(ctl::kOk);
        ASSERT_TRUE(Until([&] { return boxes.shown.size() > before && !ctx().m_run.running; }))
            << LastBox();
        EXPECT_EQ(LastBox(), Text("M010014"));
    }

    std::unique_ptr<share::ShareServer> server;
    std::unique_ptr<share::HttpShareClient> client;
    std::string usb;
};

TEST_F(RemoteWindowTest, TheWindowFetchesWhatItWouldHaveCopiedItself) {
    OpenWithLink();
    PickDay(0);
    AddAndBackUp("Local");

    GoRemote();
    EXPECT_EQ(ctx().m_host.localMode, 0);
    PickDay(1);
    ASSERT_TRUE(Until([&] { return Rows(ctl::kStartHour).contains("10"); }));
    PickDay(0);
    EXPECT_EQ(ctx().m_day.date, "20100523");
    AddAndBackUp("Remote");
    const auto local = FilesBelow(usb + "/Local"), remote = FilesBelow(usb + "/Remote");
    EXPECT_GE(local.size(), 10u);  // four minutes' two files, the map, the information file
    EXPECT_EQ(Names(remote), Names(local));
    // The information file tells the host's context (camera count, names, recorder kind),
    // which the host record changed between the two; every other byte is the same.
    // Both images check against their own manifests, hashed as the files were written.
    EXPECT_EQ(Sha256sumCheck(usb + "/Local"), 0);
    EXPECT_EQ(Sha256sumCheck(usb + "/Remote"), 0);
    for (const auto& [name, bytes] : local) {
        if (name.find("BackupInfo.dat") == std::string::npos && name != "SHA256SUMS") {
            EXPECT_TRUE(remote.count(name) && remote.at(name) == bytes) << name;
        }
    }
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_FALSE(fs::exists(driveC() + "/NetBackupTemp/2010_05_23=10,02~10,05"));
}

TEST_F(RemoteWindowTest, ARemoteAddSaysItWaitsInTheStatusLineWithoutShowingTheLine) {
    OpenWithLink();
    GoRemote();
    PickDay(0);
    ASSERT_TRUE(Until([&] { return Rows(ctl::kStartHour).contains("10"); }));
    QWidget* status = W<QWidget>(ctl::kStatusLine);
    ASSERT_FALSE(status->isVisibleTo(dlg.get()));  // hidden while no pass runs
    AddEntry("00", "01");
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(), Text("M010015"));
    EXPECT_FALSE(status->isVisibleTo(dlg.get()));
    ASSERT_TRUE(Until([&] { return Rows(ctl::kScheduleList).size() == 1; })) << LastBox();
    EXPECT_FALSE(status->isVisibleTo(dlg.get()));
}
