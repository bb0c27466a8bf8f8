// The storage target, OK with its checks in their order, Cancel and what a stopped pass keeps,
// History, and the messages of the host, through the real window.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <cstring>
#include <tuple>

#include "DialogFixture.h"
#include "FakeDiscWriter.h"
#include "backup/HostMessages.h"
#include "backup/pass/BackupStart.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "backup/schedule/ScheduleCommands.h"
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
    CQuillonDlg& OpenWith(CQuillonDlg::Companions companions) {
        companions.browser = &browser;
        return Open(companions);
    }
    ScriptedBrowser browser;
    FakeDiscWriter writer;
};

TEST_F(StartCancelTest, TheTargetIsChosenInTheBrowserAndClassifiedByItsDrive) {
    const std::string usb = MapDrive('E', "removable");
    fs::create_directories(usb + "/Backup");
    OpenWith({});
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

    // A folder that no drive holds is no target (Z: is kept unless the table maps it).
    platform::DriveTable table = platform::DriveTable::Load(prefix());
    table = platform::DriveTable();
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

TEST(WriteSpeedItemsTest, StepsOfFourToEightThenHalvingAndMaxBelowOneStep) {
    auto labels = [](const std::vector<backup::WriteSpeedItem>& items) {
        std::vector<std::string> out;
        for (const auto& i : items)
            out.push_back(i.label + "=" + std::to_string(i.data));
        return out;
    };
    EXPECT_EQ(labels(WriteSpeedItems(16 * 1380, 0)),
              (std::vector<std::string>{"16 x=22080", "12 x=16560", "8 x=11040", "4 x=5520",
                                        "2 x=2760"}));
    EXPECT_EQ(labels(WriteSpeedItems(1000, 0)), (std::vector<std::string>{"MAX=0"}));
    EXPECT_EQ(WriteSpeedItems(48 * 176, 8).size(), 13u);  // 48 to 8 by four, then 4 and 2
    // Six steps: 6 x with the maximum, 3 x with it divided by 3, then 1.5 x (printed 2).
    EXPECT_EQ(labels(WriteSpeedItems(6 * 1380, 0)),
              (std::vector<std::string>{"6 x=8280", "3 x=2760", "2 x=1840"}));
}

TEST_F(StartCancelTest, OkChecksInTheirOrderAndStartsTheBackup) {
    const std::string usb = MapDrive('E', "removable");
    OpenWith({.discWriter = &writer});
    Click(ctl::kOk);
    EXPECT_EQ(LastBox(), Text("M010024"));
    AddEntry("00", "03");
    Click(ctl::kOk);
    EXPECT_EQ(LastBox(), Text("M010027"));

    // A disc target: the disc's own checks, in order.
    browser.answer = MapDrive('D', "cdrom");
    Click(ctl::kBrowse);
    writer.freeMB = 1;
    Click(ctl::kOk);
    EXPECT_EQ(LastBox().rfind(Text("M010028") + "[" + Text("M010030") + "]\nD: - ", 0), 0u)
        << LastBox();
    writer.freeMB = 700;
    writer.discStatus = 1;
    Click(ctl::kOk);
    EXPECT_EQ(LastBox(), app.GetLanguageText("CDWRITER", "A010016") + "\n" +
                             app.GetLanguageText("CDWRITER", "A010018"));
    writer.mediaType = kMediaNoDisc;
    Click(ctl::kOk);
    EXPECT_EQ(LastBox(), app.GetLanguageText("CDWRITER", "A010003"));

    // A folder target in the recordings, then a good one: the backup runs to its end.
    browser.answer = driveC() + "/QorData";
    Click(ctl::kBrowse);
    Click(ctl::kOk);
    EXPECT_EQ(LastBox().rfind(Text("Q010004"), 0), 0u) << LastBox();
    browser.answer = usb;
    Click(ctl::kBrowse);
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    EXPECT_EQ(ctx().m_run.running, 1);
    EXPECT_FALSE(W<QWidget>(ctl::kAdd)->isEnabled());  // busy
    EXPECT_EQ(W<QAbstractButton>(ctl::kCancel)->text().remove('&'),
              QString::fromStdString(Text("A010018")));
    ASSERT_TRUE(Until([&] { return boxes.shown.size() > before; }));
    EXPECT_EQ(LastBox(), Text("M010014"));
    EXPECT_TRUE(fs::exists(usb + "/2010_05_23=10,00~10,03/20100523/201005231003N.idx"));
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());  // the schedule is cleared
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
}

TEST_F(StartCancelTest, CancelDuringABackupAsksAndStopsOnlyOnYes) {
    OpenWith({});
    ctx().m_run.running = 1;  // a backup under way
    boxes.answers = {IDNO};
    Click(ctl::kCancel);
    EXPECT_EQ(LastBox(), Text("M010038") + "\n" + Text("M010026"));
    EXPECT_EQ(ctx().m_run.running, 1);
    EXPECT_TRUE(dlg->isVisible());
    boxes.answers = {IDYES};
    Click(ctl::kCancel);
    EXPECT_EQ(ctx().m_run.running, 0);
    EXPECT_TRUE(dlg->isVisible());  // the worker stops; the window stays
    // A disc being written: the writer is told to stop after a Yes.
    FakeDiscWriter w;
    ctx().m_disc.writer = &w;
    ctx().m_disc.writing = 1;
    boxes.answers = {IDYES};
    Click(ctl::kCancel);
    ASSERT_FALSE(w.calls.empty());
    EXPECT_EQ(w.calls.back(), "abort");
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(),
              app.GetLanguageText("CDWRITER", "A010024"));
    ctx().m_disc.writing = 0;
    ctx().m_disc.writer = nullptr;
    // Idle, it closes.
    Click(ctl::kCancel);
    EXPECT_FALSE(dlg->isVisible());
}

// A stopped pass: the entries it did not write stay in the list, and the end box names each with
// what it lacks.
TEST_F(DialogTest, AStoppedPassKeepsWhatItDidNotWriteAndNamesIt) {
    MapDrive('E', "removable");
    Open();
    AddEntry("00", "02");
    AddEntry("04", "09");
    ASSERT_EQ(ctx().m_targets.ChooseStorageTarget("E:\\"), "");
    // Start, and at once Cancel answered Yes: the worker stops at its first check.
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    boxes.answers = {IDYES};
    Click(ctl::kCancel);
    ASSERT_TRUE(Until([&] { return boxes.shown.size() >= before + 2; }));
    const std::string end = LastBox();
    EXPECT_EQ(Rows(ctl::kScheduleList),
              (QStringList{"2010-05-23 - 10:00 ~ 10:02", "2010-05-23 - 10:04 ~ 10:09"}));
    EXPECT_EQ(end.rfind(Text("Q010007"), 0), 0u) << end;
    EXPECT_NE(end.find(Text("Q010013")), std::string::npos) << end;
    EXPECT_NE(end.find("2010-05-23 - 10:04 ~ 10:09: " + std::string(kEntryNotReached)),
              std::string::npos)
        << end;
    EXPECT_NE(W<QLabel>(ctl::kTotalSize)->text(), QString());  // the kept entries' total
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
}

TEST_F(StartCancelTest, HistoryListsTheTargetsFoldersInTheDateTypesForm) {
    const std::string usb = MapDrive('E', "removable");
    fs::create_directories(usb + "/2010_05_03=10,00~11,30");
    fs::create_directories(usb + "/a.b_c");
    WriteText(usb + "/plain.txt", "not a folder");
    for (const auto& [type, first, second] :
         {std::tuple{0, "2010-05-03 - 10,00 ~ 11,30", "a:b-c"},
          std::tuple{3, "2010/05/03 - 10,00 ~ 11,30", "a:b/c"},
          std::tuple{6, "2010.05.03 - 10,00 ~ 11,30", "a:b.c"}}) {
        CBackupDataListDlg history;
        history.m_strFolder = "E:";
        history.m_nDateType = type;
        history.OnInitDialog();
        ASSERT_EQ(history.List()->count(), 2) << type;
        EXPECT_EQ(history.List()->item(0)->text().toStdString(), first);
        EXPECT_EQ(history.List()->item(1)->text().toStdString(), second);
    }
    OpenWith({});
    ctx().m_run.running = 1;
    Click(ctl::kHistory);
    EXPECT_EQ(LastBox(), Text("M010016"));
}

TEST_F(StartCancelTest, TheHostsMessagesChangeTheContextTheDrivesAndTheProgress) {
    OpenWith({});
    HostInfo h{.dateType = 4,
               .camCount = 16,
               .driveMask = 0x1C,
               .recordDriveMask = 0xFFFFFFFF,
               .language = "eng",
               .basePath = "C:\\host"};
    std::strcpy(h.cameraName[2], "Yard");
    const std::string record = EncodeHostInfo(h);
    ASSERT_EQ(record.size(), 2348u);
    EXPECT_EQ(Send(platform::WM_COPYDATA, 0, record).result, 1);
    EXPECT_EQ(ctx().m_host.localMode, 0);
    EXPECT_EQ(ctx().m_host.camCount, 16);
    EXPECT_EQ(ctx().m_host.dateType, 4);
    EXPECT_EQ(ctx().m_host.recordDriveMask, 0x0FFFFFFFu);
    EXPECT_EQ(ctx().m_host.basePath, "C:\\host\\");
    EXPECT_STREQ(ctx().m_host.cameraNames[2], "Yard");
    EXPECT_TRUE(W<QWidget>(ctl::kNextPage)->isEnabled());  // no control changes at once

    // A short block and an unterminated text are read within their bounds.
    std::string cut = record.substr(0, 34);  // ends inside the language
    std::string unterminated = record;
    std::fill(unterminated.begin() + 32, unterminated.begin() + 37, 'x');
    Send(platform::WM_COPYDATA, 0, unterminated);
    EXPECT_EQ(ctx().m_host.language, "xxxxx");
    Send(platform::WM_COPYDATA, 0, cut);
    EXPECT_EQ(ctx().m_host.language, "en");
    EXPECT_EQ(ctx().m_host.camCount, 16);
    EXPECT_EQ(ctx().m_host.basePath, "C:\\host\\");  // no base folder in the record: kept

    EXPECT_EQ(Send(kMsgDriveList, 0x1C).result, 0);
    EXPECT_EQ(Rows(ctl::kDriveList), (QStringList{"D:\\", "E:\\"}));

    ctx().m_target.kind = backup::TargetKind::kFolder;
    std::string progress(1040, '\0');
    std::memcpy(&progress[4], "201005231000N.dat", 17);
    progress[1028] = static_cast<char>(200);
    progress[1036] = 50;
    Send(kMsgDownloadProgress, 0, progress);  // the first sets the bar up
    EXPECT_TRUE(W<QWidget>(ctl::kProgress)->isVisibleTo(dlg.get()));
    EXPECT_EQ(W<QProgressBar>(ctl::kProgress)->value(), 0);
    Send(kMsgDownloadProgress, 0, progress);
    EXPECT_EQ(W<QProgressBar>(ctl::kProgress)->value(), 25);
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(),
              Text("M010011") + " [201005231000N.dat]");

    // What a host reads off the window.
    const auto hours = Send(platform::kMsgQueryControl, ctl::kStartHour);
    EXPECT_EQ(hours.result, -1);
    EXPECT_EQ(hours.data, "10");
    EXPECT_EQ(Send(platform::kMsgQueryControl, ctl::kFirstCameraBox).data, "0");
    EXPECT_EQ(Send(platform::kMsgQueryControl, ctl::kProgress).data, "25/0/100");
    EXPECT_EQ(Send(platform::kMsgQueryControl, 4242).data, "");
}

TEST_F(StartCancelTest, NoRoomOnTheTargetOrForTheDiscImageIsRefused) {
    OpenWith({.discWriter = &writer});
    AddEntry("00", "01");
    ASSERT_EQ(Rows(ctl::kScheduleList).size(), 1);

    const std::string tiny = MountTinyDrive('T', "size=64k");
    if (tiny.empty())
        GTEST_SKIP() << "this machine does not let the test mount a small drive";
    browser.answer = tiny;
    Click(ctl::kBrowse);
    Click(ctl::kOk);
    EXPECT_EQ(LastBox().rfind(Text("M010028") + "[" + Text("M010030") + "]\nT:", 0), 0u)
        << LastBox();
    EXPECT_EQ(ctx().m_run.running, 0);

    // A disc's image is made on C: first: C: too small for it is the other refusal.
    const std::string smallC = MountTinyDrive('C', "size=64k");
    ASSERT_FALSE(smallC.empty());
    browser.answer = MapDrive('D', "cdrom");
    Click(ctl::kBrowse);
    Click(ctl::kOk);
    EXPECT_EQ(LastBox().rfind(Text("M010028") + "[" + Text("M010029") + "]\nC:\\QuillonTemp - ", 0),
              0u)
        << LastBox();
}
