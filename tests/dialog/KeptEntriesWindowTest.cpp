// A stopped pass in the real window: the entries it did not write stay in the list, and the end
// box names each with what it lacks. Leaves the window before and after, and the box, in the
// artefacts.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "DialogFixture.h"
#include "backup/BackupStart.h"
#include "backup/ScheduleAfterPass.h"

namespace fs = std::filesystem;

namespace {

void SaveArtefact(QWidget& w, const char* name) {
    fs::create_directories(QUILLON_ARTEFACT_DIR);
    EXPECT_TRUE(w.grab().save(QString(QUILLON_ARTEFACT_DIR "/") + name)) << name;
}

}  // namespace

class KeptEntriesWindowTest : public DialogTest {};

TEST_F(KeptEntriesWindowTest, AStoppedPassKeepsWhatItDidNotWriteAndNamesIt) {
    const std::string usb = MapDrive('E', "removable");
    Open();
    dlg->show();
    for (const auto& [sm, em] : {std::pair{"00", "02"}, std::pair{"04", "09"}}) {
        Range("10", sm, "10", em);
        Click(ctl::kSelectAll);
        Click(ctl::kAdd);
    }
    ASSERT_EQ(Rows(ctl::kScheduleList).size(), 2);
    ASSERT_EQ(ctx().m_targets.ChooseStorageTarget("E:\\"), "");
    SaveArtefact(*dlg, "kept-entries-before.png");

    // Start, and at once Cancel answered Yes: the worker stops at its first check.
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    boxes.answers = {IDYES};
    Click(ctl::kCancel);
    while (boxes.shown.size() < before + 2)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const std::string end = LastBox();

    EXPECT_EQ(Rows(ctl::kScheduleList),
              (QStringList{"2010-05-23 - 10:00 ~ 10:02", "2010-05-23 - 10:04 ~ 10:09"}));
    EXPECT_TRUE(fs::exists(base + "/Reserved/reserve.dat"));
    EXPECT_TRUE(fs::exists(base + "/Reserved/2010_05_23=10,04~10,09/BackupInfo.dat"));
    EXPECT_EQ(end.rfind(Text("Q010007"), 0), 0u) << end;
    EXPECT_NE(end.find(Text("Q010013")), std::string::npos) << end;
    EXPECT_NE(end.find("2010-05-23 - 10:04 ~ 10:09: " + std::string(kEntryNotReached)),
              std::string::npos)
        << end;
    EXPECT_NE(W<QLabel>(ctl::kTotalSize)->text(), QString());  // the kept entries' total
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    SaveArtefact(*dlg, "kept-entries-after.png");
    // The box as the operator sees it.
    QMessageBox box(dlg.get());
    box.setWindowTitle("Backup");
    box.setIcon(QMessageBox::Warning);
    box.setText(QString::fromStdString(end));
    box.show();
    QApplication::processEvents();
    SaveArtefact(box, "kept-entries-box.png");

    // The next Start writes what was kept, and then the schedule is empty.
    const std::size_t again = boxes.shown.size();
    Click(ctl::kOk);
    while (boxes.shown.size() == again)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(LastBox(), Text("M010014"));
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());
    EXPECT_TRUE(fs::exists(usb + "/2010_05_23=10,04~10,09/20100523/201005231009N.idx"));
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
}

TEST_F(KeptEntriesWindowTest, TheEndBoxNamesADamagedEntryByItsLabelAndSaysAnotherBackupCopiesIt) {
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20100524"};
    plan.firstMinute = 600;
    plan.lastMinute = 605;
    plan.cameras = 8;
    plan.width = plan.height = 16;
    plan.damagedMinutes = {{603, mkrec::Damage::kShortData}};
    mkrec::MakeRecordings(plan);
    MapDrive('E', "removable");
    Open();
    ASSERT_EQ(ctx().m_day.date, "20100524");  // the newest day
    Range("10", "00", "10", "05");
    Click(ctl::kSelectAll);
    Click(ctl::kAdd);
    ASSERT_EQ(Rows(ctl::kScheduleList), QStringList{"2010-05-24 - 10:00 ~ 10:05"});
    ASSERT_EQ(ctx().m_targets.ChooseStorageTarget("E:\\"), "");
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    while (boxes.shown.size() == before)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const std::string end = LastBox();

    const std::string label = "2010-05-24 - 10:00 ~ 10:05";
    EXPECT_EQ(end.rfind(Text("Q010006"), 0), 0u) << end;
    EXPECT_NE(end.find("\n" + label + ": camera "), std::string::npos) << end;
    EXPECT_EQ(end.find("2010_05_24=10,00~10,05"), std::string::npos) << end;  // no folder name
    // It stays in the schedule, but not as one the next backup makes whole.
    EXPECT_NE(end.find("\n" + DamagedEntryNote(label)), std::string::npos) << end;
    EXPECT_EQ(end.find(Text("Q010013")), std::string::npos) << end;
    EXPECT_EQ(Rows(ctl::kScheduleList), QStringList{QString::fromStdString(label)});
}
