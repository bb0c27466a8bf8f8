// What the operator can reach of the real window: the storage target chosen in a scripted
// browser and in the program's own, History, the host's messages, the keep-in-front timer, Close
// over the bus, and the writer's box when there is none.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>

#include "DialogFixture.h"
#include "FakeDiscWriter.h"
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

class WindowReachTest : public DialogTest {
  protected:
    // "..." with the program's own browser, choosing there the row path[0], below it path[1],
    // and so on, each by the start of its text. False (the browser cancelled) when a row is not
    // there.
    bool BrowseAndChoose(const QStringList& path) {
        bool found = false;
        QTimer::singleShot(0, dlg.get(), [&] {
            auto* shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* tree = shown ? shown->findChild<QTreeWidget*>() : nullptr;
            if (!tree)
                return;
            QTreeWidgetItem* at = tree->invisibleRootItem();
            for (const QString& name : path) {
                at->setExpanded(true);  // a folder lists what it holds once opened
                QTreeWidgetItem* next = nullptr;
                for (int i = 0; i < at->childCount() && !next; ++i)
                    if (at->child(i)->text(0).startsWith(name))
                        next = at->child(i);
                if (!(at = next))
                    return shown->reject();
            }
            tree->setCurrentItem(at);
            found = true;
            shown->accept();
        });
        Click(ctl::kBrowse);
        return found;
    }
    long WriterBoxes() {
        return std::count_if(boxes.shown.begin(), boxes.shown.end(),
                             [&](const auto& s) { return s.text == DiscText("A010001"); });
    }
    FakeDiscWriter writer;
    ScriptedBrowser browser;
};

TEST_F(WindowReachTest, TheBrowserOffersEveryDriveOfTheTableTheWriterWithoutAFolderAmongThem) {
    const std::string usb = MapDrive('E', "removable");
    fs::create_directories(usb + "/Backup");
    // The writer as the README sets one up: a device and no folder.
    platform::DriveTable table = platform::DriveTable::Load(prefix());
    table.Set({'D', "", platform::DRIVE_CDROM, "stdio:" + prefix() + "/disc-d.iso"});
    ASSERT_TRUE(table.Save(prefix()));
    ASSERT_EQ(platform::CurrentDrives()->Find('D')->hostRoot, "");
    Open({.discWriter = &writer});

    ASSERT_TRUE(BrowseAndChoose({"D:"}));
    EXPECT_EQ(ctx().m_target.kind, backup::TargetKind::kDisc);
    EXPECT_EQ(W<QLineEdit>(ctl::kTarget)->text(), "D:\\Test DVD writer (700 MB)");
    EXPECT_EQ(Rows(ctl::kWriteSpeed), (QStringList{"16 x", "12 x", "8 x", "4 x", "2 x"}));
    EXPECT_EQ(W<QComboBox>(ctl::kWriteSpeed)->currentIndex(), 0);
    EXPECT_TRUE(W<QWidget>(ctl::kErase)->isVisibleTo(dlg.get()));  // a rewritable disc
    EXPECT_TRUE(W<QWidget>(ctl::kCapacityBar)->isVisibleTo(dlg.get()));
    // No disc: refused, the target text empty, the speeds as they were.
    writer.mediaType = kMediaNoDisc;
    ASSERT_TRUE(BrowseAndChoose({"D:"}));
    EXPECT_EQ(LastBox(), Text("M010022"));
    EXPECT_TRUE(W<QLineEdit>(ctl::kTarget)->text().isEmpty());
    EXPECT_EQ(Rows(ctl::kWriteSpeed).size(), 5);
    writer.mediaType = 3;

    // A folder on a drive, opened from its drive.
    ASSERT_TRUE(BrowseAndChoose({"E:", "Backup"}));
    EXPECT_EQ(W<QLineEdit>(ctl::kTarget)->text().toStdString(), usb + "/Backup");
}

TEST_F(WindowReachTest, TheKeepInFrontTimerLeavesTheHistoryDialogInFront) {
    MapDrive('E', "removable");
    Open();
    dlg->show();
    dlg->activateWindow();
    ASSERT_EQ(ctx().m_targets.ChooseStorageTarget("E:\\"), "");
    // Two ticks of the timer while History is open; then the test closes it.
    QWidget* history = nullptr;
    QWidget* activeAfterTicks = nullptr;
    int ticks = 0;
    struct TickCounter : QObject {
        std::function<void()> onTick;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Timer && onTick)
                onTick();
            return false;
        }
    } counter;
    counter.onTick = [&] {
        auto* open = qobject_cast<CBackupDataListDlg*>(QApplication::activeModalWidget());
        if (!open)
            return;
        history = open;
        if (++ticks == 3) {  // the two before this one were handled
            activeAfterTicks = QApplication::activeWindow();
            open->reject();
        }
    };
    dlg->installEventFilter(&counter);
    Click(ctl::kHistory);
    dlg->removeEventFilter(&counter);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(activeAfterTicks, history);
}

TEST_F(WindowReachTest, TheSystemMenusCloseOverTheBusClosesTheWindowAsItsCloseDoes) {
    Open();
    dlg->show();
    // SC_CLOSE, with low bits that are the system's own.
    dlg->OnBusMessage({.message = platform::WM_SYSCOMMAND, .wParam = 0xF063});
    QCoreApplication::sendPostedEvents();  // it runs once the sender has its answer
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(WindowReachTest, NoWriterIsAWriterThatDidNotStartAndTheWindowOpensAnyway) {
    Open();  // no writer at all
    ASSERT_EQ(WriterBoxes(), 1);
    EXPECT_EQ(LastBox(), DiscText("A010001"));
    EXPECT_TRUE(boxes.shown.back().bracketed);
    EXPECT_TRUE(dlg->isVisible());

    // A writer with no writer drive is none either; one with its drive starts without a box.
    writer.drives.clear();
    Open({.discWriter = &writer});
    EXPECT_EQ(WriterBoxes(), 2);
    writer.drives = {{"D", "Test DVD writer"}};
    Open({.discWriter = &writer});
    EXPECT_EQ(WriterBoxes(), 2);

    // The program's own box holds nothing up, so that a host drives the window meanwhile: the
    // window is up and served while it is open.
    QtMessageBoxes real;
    writer.drives.clear();
    Open({.discWriter = &writer}, &real);
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), DiscText("A010001"));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->inMessageBox(), 1);
    box->accept();
    EXPECT_EQ(dlg->inMessageBox(), 0);
}

TEST_F(WindowReachTest, TheTargetIsChosenInTheBrowserAndClassifiedByItsDrive) {
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
TEST_F(WindowReachTest, HistoryListsTheTargetsFoldersOnly) {
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

TEST_F(WindowReachTest, TheHostsMessagesReachTheSessionAndTheControls) {
    Open();
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
