// What an operator's slips and a host's late record must not do.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <cstring>

#include "DialogFixture.h"

using OperatorSlipsTest = DialogTest;

TEST_F(OperatorSlipsTest, KeysInTheDayListPickTheDayAndEnterStartsNoBackup) {
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
}

TEST_F(OperatorSlipsTest, ThePickedEntryStaysPickedWhenAnotherIsAddedAndIsTheOneDeleted) {
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

TEST_F(OperatorSlipsTest, UpdateStoresTheMemoLeavesNothingPickedAndThePageFollowsThePick) {
    Open();
    AddEntry("01", "02");
    Click(ctl::kNextPage);
    EXPECT_EQ(W<QLabel>(ctl::kCameraPage)->text(), "2/4");
    auto* list = W<QListWidget>(ctl::kScheduleList);
    list->setCurrentRow(0);
    EXPECT_EQ(W<QLabel>(ctl::kCameraPage)->text(), "1/4");
    W<QPlainTextEdit>(ctl::kMemo)->setPlainText("van at the gate");
    Click(ctl::kUpdate);  // what it stores is the schedule's own test
    EXPECT_TRUE(W<QPlainTextEdit>(ctl::kMemo)->toPlainText().isEmpty());
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(ctx().m_schedule.entryPicked, 0);
    EXPECT_FALSE(W<QWidget>(ctl::kDelete)->isEnabled());
}

TEST_F(OperatorSlipsTest, AHostsDateTypeRelabelsTheDaysAndTheSchedule) {
    Open();
    AddEntry("01", "02");
    SendHostRecord({.dateType = 4, .camCount = 16, .language = "eng"});  // day/month/year
    QTreeWidget* days = dlg->preview()->DayList();
    EXPECT_EQ(days->topLevelItem(0)->text(0), "23/05/2010");
    EXPECT_EQ(Rows(ctl::kScheduleList), QStringList{"23/05/2010 - 10:01 ~ 10:02"});
}
