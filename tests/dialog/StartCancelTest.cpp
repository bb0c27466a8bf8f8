// The storage target chosen in the browser, History and the host's messages.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <cstring>

#include "DialogFixture.h"
#include "backup/HostMessages.h"
#include "platform/DriveTable.h"
#include "preview/CBackupDataListDlg.h"

namespace fs = std::filesystem;

namespace {

// Answers the folder browser with the folder the test sets.
class ScriptedBrowser : public IFolderBrowser {
  public:
    std::string Browse(QWidget*, const std::string& title, const std::string&) override {
        titles.push_back(title);
        return answer;
    }
    std::string answer;
    std::vector<std::string> titles;
};

}  // namespace

class StartCancelTest : public DialogTest {
  protected:
    ScriptedBrowser browser;
};

TEST_F(StartCancelTest, TheTargetIsChosenInTheBrowserAndClassifiedByItsDrive) {
    const std::string usb = MapDrive('E', "removable");
    fs::create_directories(usb + "/Backup");
    Open({.browser = &browser});
    browser.answer = "";  // cancelled: nothing changes
    Click(ctl::kBrowse);
    EXPECT_EQ(browser.titles.at(0), "Select Backup Path.");
    EXPECT_TRUE(W<QLineEdit>(ctl::kTarget)->text().isEmpty());

    browser.answer = usb + "/Backup";
    Click(ctl::kBrowse);
    EXPECT_EQ(W<QLineEdit>(ctl::kTarget)->text().toStdString(), usb + "/Backup");
    EXPECT_EQ(ctx().m_target.kind, backup::TargetKind::kFolder);
    EXPECT_FALSE(W<QWidget>(ctl::kWriteSpeed)->isEnabled());
    EXPECT_TRUE(W<QWidget>(ctl::kIncludeViewer)->isEnabled());
    // The window shows (and a host reads) the host folder; the core keeps the drive path.
    EXPECT_EQ(Send(platform::kMsgQueryControl, ctl::kTarget).data, usb + "/Backup");
    EXPECT_EQ(dlg->view().GetItemText(ctl::kTarget), "E:\\Backup");
    EXPECT_EQ(ctx().m_target.text, "E:\\Backup");
    ASSERT_TRUE(
        dlg->Control(ctl::kStorageFrame)->grab().save(QUILLON_ARTEFACT_DIR "/target-edit.png"));
    // A disc writer's text names no folder: shown as the core set it.
    MapDrive('D', "cdrom");
    dlg->view().SetItemText(ctl::kTarget, "D:\\Test DVD writer (700 MB)");
    EXPECT_EQ(W<QLineEdit>(ctl::kTarget)->text(), "D:\\Test DVD writer (700 MB)");
    dlg->view().SetItemText(ctl::kTarget, "");
    EXPECT_TRUE(W<QLineEdit>(ctl::kTarget)->text().isEmpty());
    EXPECT_EQ(dlg->view().GetItemText(ctl::kTarget), "");

    // A folder that no drive holds is no target (Z: is kept unless the table maps it).
    platform::DriveTable table;
    table.Set({'C', driveC(), platform::DRIVE_FIXED, ""});
    table.Set({'E', usb, platform::DRIVE_REMOVABLE, ""});
    fs::create_directories(prefix() + "/drive_z");
    table.Set({'Z', prefix() + "/drive_z", platform::DRIVE_FIXED, ""});
    ASSERT_TRUE(table.Save(prefix()));
    browser.answer = prefix() + "/elsewhere";
    fs::create_directories(browser.answer);
    Click(ctl::kBrowse);
    EXPECT_EQ(LastBox(), Text("M010020"));
    EXPECT_TRUE(W<QLineEdit>(ctl::kTarget)->text().isEmpty());
    EXPECT_EQ(ctx().m_target.kind, backup::TargetKind::kNone);
}

// The labels are the core's (tested there); the list holds the target's folders only.
TEST_F(StartCancelTest, HistoryListsTheTargetsFoldersOnly) {
    const std::string usb = MapDrive('E', "removable");
    fs::create_directories(usb + "/2010_05_03=10,00~11,30");
    WriteText(usb + "/plain.txt", "not a folder");
    CBackupDataListDlg history;
    history.m_strFolder = "E:";
    history.m_nDateType = 3;
    history.OnInitDialog();
    ASSERT_EQ(history.List()->count(), 1);
    EXPECT_EQ(history.List()->item(0)->text().toStdString(), "2010/05/03 - 10,00 ~ 11,30");
}

TEST_F(StartCancelTest, TheHostsMessagesReachTheSessionAndTheControls) {
    Open({.browser = &browser});
    EXPECT_EQ(
        Send(platform::WM_COPYDATA, 0, EncodeHostInfo({.camCount = 16, .language = "eng"})).result,
        1);
    EXPECT_TRUE(W<QWidget>(ctl::kNextPage)->isEnabled());  // no control changes at once
    EXPECT_EQ(Send(kMsgDriveList, 0x1C).result, 0);
    EXPECT_EQ(Rows(ctl::kDriveList), (QStringList{"D:\\", "E:\\"}));

    ctx().m_target.kind = backup::TargetKind::kFolder;
    std::string progress(1040, '\0');
    std::memcpy(&progress[4], "201005231000N.dat", 17);
    progress[1028] = static_cast<char>(200);
    progress[1036] = 50;
    Send(kMsgDownloadProgress, 0, progress);  // the first sets the bar up
    EXPECT_TRUE(W<QWidget>(ctl::kProgress)->isVisibleTo(dlg.get()));
    Send(kMsgDownloadProgress, 0, progress);
    EXPECT_EQ(W<QProgressBar>(ctl::kProgress)->value(), 25);
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(),
              Text("M010011") + " [201005231000N.dat]");

    // What a host reads off the window.
    EXPECT_EQ(Send(platform::kMsgQueryControl, ctl::kFirstCameraBox).data, "0");
    EXPECT_EQ(Send(platform::kMsgQueryControl, ctl::kProgress).data, "25/0/100");
    EXPECT_EQ(Send(platform::kMsgQueryControl, 4242).data, "");
}
