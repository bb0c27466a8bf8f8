// A stick whose device fails while the system writes the image out: the pass is no completed
// backup, and the schedule keeps its entry for another try.
#include "FailingDisk.h"
#include "PassTest.h"

using ImageFlushTest = PassTest;

TEST_F(ImageFlushTest, AnImageThatNeverReachesItsDeviceIsNoCompletedBackup) {
    FailingDisk disk(prefix() + "/back", MapDrive('F', "removable"), 256);
    if (!disk.ready())
        GTEST_SKIP() << "no loop device, ext4 or mount on this machine";
    // About 15 MB a minute: more than the device takes.
    mkrec::MakeRecordings({.root = "C:\\QorData",
                           .days = {"20100523"},
                           .firstMinute = 600,
                           .lastMinute = 603,
                           .fps = 25});
    Add("10", "00", "10", "03");
    Run("F:\\Image");
    EXPECT_HAS(Failures(), "could not be written");
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}
