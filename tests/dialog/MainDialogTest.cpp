// The operator's window driven through its widgets: start-up, the day, time and camera choice,
// Add with each refusal, picking and deleting entries, the hold on the working folder, and what
// an operator's slips and a host's late record must not do.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <cstring>
#include <thread>

#include "CliRunner.h"
#include "DialogFixture.h"

namespace fs = std::filesystem;

TEST_F(DialogTest, StartsTitledLabelledAndCentredWithTheNewestDayChosen) {
    CQuillonDlg& d = Open();
    EXPECT_EQ(d.windowTitle(), "Backup");
    EXPECT_LE(std::abs(d.x() + d.width() / 2 - 512), 1);
    EXPECT_LE(std::abs(d.y() + d.height() / 2 - 384), 1);
    EXPECT_EQ(W<QAbstractButton>(ctl::kAdd)->text().remove('&'), "Add");
    EXPECT_EQ(W<QAbstractButton>(ctl::kOk)->text().remove('&'), "Start");
    EXPECT_FALSE(W<QWidget>(ctl::kIncludeViewer)->isVisible());
    EXPECT_FALSE(W<QWidget>(ctl::kStatusLine)->isVisible());
    EXPECT_FALSE(W<QWidget>(ctl::kUpdate)->isEnabled());
    EXPECT_TRUE(W<QWidget>(ctl::kNextPage)->isEnabled());  // 64 cameras until a host says less

    // The newest day is the backup day, its hours in both combos.
    EXPECT_EQ(ctx().m_day.date, "20100523");
    EXPECT_EQ(Rows(ctl::kStartHour), QStringList{"10"});
    EXPECT_EQ(Rows(ctl::kEndHour), QStringList{"10"});
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(W<QWidget>(ctl::kFirstCameraBox + i)->isEnabled(), i < 8) << i;
    EXPECT_EQ(W<QAbstractButton>(ctl::kFirstCameraBox + 3)->text(), "04");
}

TEST_F(DialogTest, AddThroughTheWidgetsWithEveryBoxBracketed) {
    Open();
    Click(ctl::kAdd);
    EXPECT_EQ(LastBox(), Text("M010005"));
    Choose(ctl::kStartHour, "10");
    // The hour's recorded minutes, and the cameras of the whole hour.
    EXPECT_EQ(Rows(ctl::kStartMinute).size(), 10);
    EXPECT_EQ(Rows(ctl::kStartMinute).first(), "00");
    Range("10", "02", "10", "05");
    Click(ctl::kFirstCameraBox + 1);
    Click(ctl::kFirstCameraBox + 3);
    EXPECT_TRUE(ctx().m_day.camSel[1] && ctx().m_day.camSel[3] && !ctx().m_day.camSel[0]);
    const std::size_t before = boxes.shown.size();
    Click(ctl::kAdd);
    EXPECT_EQ(boxes.shown.size(), before);  // no refusal
    EXPECT_EQ(Rows(ctl::kScheduleList), QStringList{"2010-05-23 - 10:02 ~ 10:05"});
    EXPECT_NE(W<QLabel>(ctl::kTotalSize)->text().toStdString().find("Total"), std::string::npos);
    EXPECT_FALSE(W<QAbstractButton>(ctl::kFirstCameraBox + 1)->isChecked());  // selection reset
    for (const auto& shown : boxes.shown)
        EXPECT_TRUE(shown.bracketed) << shown.text;
    EXPECT_EQ(dlg->inMessageBox(), 0);
}

TEST_F(DialogTest, TwentyFourCamerasShowOnlyTheirLastEightOnThePageAfter) {
    Record(24, {"20100524"});
    Open();
    ctx().m_host.camCount = 24;
    dlg->preview()->OnDateListClick(0);  // 2010-05-24, the newest
    Range("10", "00", "10", "09");
    Click(ctl::kNextPage);
    EXPECT_EQ(W<QAbstractButton>(ctl::kFirstCameraBox)->text(), "17");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(W<QWidget>(ctl::kFirstCameraBox + i)->isVisibleTo(dlg.get()), i < 8) << i;
}

TEST_F(DialogTest, PickingShowsTheEntryAndDeletingTheLastTakesTheWorkingFolder) {
    Open();
    Range("10", "00", "10", "03");
    Click(ctl::kFirstCameraBox + 2);
    W<QPlainTextEdit>(ctl::kMemo)->setPlainText("gate, delivery");  // typed before Add
    Click(ctl::kAdd);
    ASSERT_EQ(Rows(ctl::kScheduleList).size(), 1);
    EXPECT_TRUE(W<QPlainTextEdit>(ctl::kMemo)->toPlainText().isEmpty());

    auto* list = W<QListWidget>(ctl::kScheduleList);
    list->setCurrentRow(0);
    EXPECT_EQ(W<QPlainTextEdit>(ctl::kMemo)->toPlainText(), "gate, delivery");
    EXPECT_TRUE(W<QAbstractButton>(ctl::kFirstCameraBox + 2)->isChecked());
    EXPECT_TRUE(W<QWidget>(ctl::kDelete)->isEnabled());
    EXPECT_TRUE(W<QWidget>(ctl::kUpdate)->isEnabled());

    Click(ctl::kDelete);  // answered Yes
    EXPECT_EQ(LastBox(), Text("M010019"));
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());
    EXPECT_FALSE(W<QWidget>(ctl::kDelete)->isEnabled());

    // A click where the list has no row picks nothing: refused, and Update is off.
    Range("10", "05", "10", "06");
    Click(ctl::kFirstCameraBox);
    Click(ctl::kAdd);
    list->setCurrentRow(0);
    ASSERT_TRUE(W<QWidget>(ctl::kUpdate)->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 3));
    EXPECT_EQ(LastBox(), Text("M010018"));
    EXPECT_FALSE(W<QWidget>(ctl::kUpdate)->isEnabled());
}

// The schedule kept across a restart is the core's; the window's part is its hold on the base.
TEST_F(DialogTest, WhileTheWindowIsOpenTheCommandLineKeepsOutOfItsWorkingFolder) {
    Open();
    const std::string cli = std::string(QUILLON_BIN_DIR) + "/quillon-cli";
    auto busy = RunProgram(cli, {"--base", base, "list"}, prefix());
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.err.find("another copy"), std::string::npos) << busy.err;
    dlg.reset();
    EXPECT_EQ(RunProgram(cli, {"--base", base, "list"}, prefix()).status, 0);
}

TEST_F(DialogTest, TheWorkersCallsReachTheWidgetsOnTheirOwnThreadOnly) {
    Open();
    QtDialogView& view = dlg->view();
    std::atomic<bool> done{false};
    std::string readBack;
    std::thread worker([&] {
        view.SetItemText(ctl::kStatusLine, "copying from the worker");
        readBack = view.GetItemText(ctl::kStatusLine);
        view.SetItemRows(ctl::kStartMinute, {"07", "08"});
        done = true;
    });
    // The calls wait for the window's thread: nothing happens until it serves them.
    EXPECT_TRUE(Until([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(readBack, "copying from the worker");
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text(), "copying from the worker");
    EXPECT_EQ(Rows(ctl::kStartMinute), (QStringList{"07", "08"}));

    // A window that closes serves no more: the worker's call returns at once, untouched.
    view.StopServing();
    std::thread late([&] { view.SetItemText(ctl::kStatusLine, "too late"); });
    late.join();
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text(), "copying from the worker");
}

using OperatorSlipsTest = DialogTest;

TEST_F(OperatorSlipsTest, KeysInTheDayListPickTheDayEnterStartsNoBackupAndAHostRelabelsThem) {
    Open();
    AddEntry("01", "02");
    QTreeWidget* days = dlg->preview()->DayList();
    days->setFocus();
    QTest::keyClick(days, Qt::Key_Down);
    EXPECT_EQ(ctx().m_day.date, "20100522");  // the highlighted day is the backup day
    const std::size_t boxesBefore = boxes.shown.size();
    QTest::keyClick(days, Qt::Key_Return);
    EXPECT_EQ(ctx().m_run.running, 0);
    EXPECT_EQ(boxes.shown.size(), boxesBefore) << LastBox();  // OK's checks never ran
    EXPECT_EQ(Rows(ctl::kScheduleList).size(), 1);
    QTest::keyClick(days, Qt::Key_Up);
    EXPECT_EQ(ctx().m_day.date, "20100523");
    // A host's late date type relabels the days and the schedule.
    SendHostRecord({.dateType = 4, .camCount = 16, .language = "eng"});  // day/month/year
    EXPECT_EQ(days->topLevelItem(0)->text(0), "23/05/2010");
    EXPECT_EQ(Rows(ctl::kScheduleList), QStringList{"23/05/2010 - 10:01 ~ 10:02"});
}

TEST_F(OperatorSlipsTest, ThePickedEntryStaysPickedThroughAnAddIsTheOneDeletedAndUpdateUnpicks) {
    Open();
    AddEntry("05", "06");
    auto* list = W<QListWidget>(ctl::kScheduleList);
    list->setCurrentRow(0);
    AddEntry("00", "01");  // sorts before the picked one
    ASSERT_EQ(Rows(ctl::kScheduleList).size(), 2);
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text(), "2010-05-23 - 10:05 ~ 10:06");
    // Delete is disabled after an Add until the next pick; a host's click still reaches it.
    EXPECT_FALSE(W<QWidget>(ctl::kDelete)->isEnabled());
    boxes.answers = {IDYES};
    dlg->OnDelete();
    EXPECT_EQ(Rows(ctl::kScheduleList), QStringList{"2010-05-23 - 10:00 ~ 10:01"});
    // Update stores the memo, leaves nothing picked, and the page follows the pick.
    Click(ctl::kNextPage);
    EXPECT_EQ(W<QLabel>(ctl::kCameraPage)->text(), "2/4");
    list->setCurrentRow(0);
    EXPECT_EQ(W<QLabel>(ctl::kCameraPage)->text(), "1/4");
    W<QPlainTextEdit>(ctl::kMemo)->setPlainText("van at the gate");
    Click(ctl::kUpdate);  // what it stores is the schedule's own test
    EXPECT_TRUE(W<QPlainTextEdit>(ctl::kMemo)->toPlainText().isEmpty());
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(ctx().m_schedule.entryPicked, 0);
    EXPECT_FALSE(W<QWidget>(ctl::kDelete)->isEnabled());
}

TEST_F(OperatorSlipsTest, TypingPastTheMemosRoomIsRefusedAndKeepsWhatIsThere) {
    Open();
    auto* memo = W<QPlainTextEdit>(ctl::kMemo);
    memo->setFocus();
    memo->setPlainText(QString(249, 'a') + "z");
    memo->moveCursor(QTextCursor::Start);
    QTest::keyClicks(memo, "XY");
    EXPECT_EQ(memo->toPlainText(), QString(249, 'a') + "z");
    EXPECT_EQ(std::strlen(ctx().m_schedule.entryInfo.memo), 250u);

    memo->setPlainText(QString(247, 'a'));
    memo->moveCursor(QTextCursor::Start);
    QTest::keyClicks(memo, "XY");
    EXPECT_EQ(memo->toPlainText(), "XY" + QString(247, 'a'));
    EXPECT_EQ(memo->textCursor().position(), 2);
    QKeyEvent accent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("é"));
    QApplication::sendEvent(memo, &accent);  // two bytes where one is left
    EXPECT_EQ(memo->toPlainText(), "XY" + QString(247, 'a'));

    // Pasted text takes what fits, in whole characters, at the cursor.
    memo->clear();
    memo->insertPlainText(QString::fromUtf8("é").repeated(200));
    EXPECT_EQ(memo->toPlainText(), QString::fromUtf8("é").repeated(125));
}
