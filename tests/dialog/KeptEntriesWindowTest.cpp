// A stopped pass in the real window: the entries it did not write stay in the list, and the end
// box names each with what it lacks.
#include <QLabel>

#include "DialogFixture.h"
#include "backup/schedule/ScheduleAfterPass.h"

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
