// A base folder on a volume that is full or turns read-only: an add or a delete that cannot save
// the schedule changes nothing, and leaves no half entry or temporary file behind.
#include <sys/mount.h>
#include <sys/statvfs.h>

#include "PassTest.h"

using ScheduleSaveTest = PassTest;

TEST_F(ScheduleSaveTest, AnAddOrDeleteThatCannotSaveTheScheduleLeavesItAsItWas) {
    const std::string volume = MountTinyDrive('G', "size=1m");
    if (volume.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    RecordDay(600, 606);
    ctx.m_host.basePath = "G:\\base\\";
    fs::create_directories(volume + "/base");
    Add("10", "00", "10", "02");
    const std::string reserved = volume + "/base/Reserved";
    const auto before = EntriesBelow(reserved);
    const auto remount = [&](unsigned long flags) {
        return ::mount("tmpfs", volume.c_str(), "tmpfs", MS_REMOUNT | flags, nullptr) == 0;
    };
    // Room for nothing, for the information file only, and for it and the minute map but not
    // for the new schedule: each write in turn is the one that fails; then a read-only volume.
    for (unsigned long pagesLeft : {0ul, 3ul, 26ul, 999ul}) {
        SCOPED_TRACE("pages left: " + std::to_string(pagesLeft));
        struct statvfs vfs {};
        ASSERT_EQ(::statvfs(volume.c_str(), &vfs), 0);
        if (pagesLeft == 999)
            ASSERT_TRUE(remount(MS_RDONLY));
        else
            WriteText(volume + "/filler",
                      std::string((vfs.f_bavail - pagesLeft) * vfs.f_bsize, 'f'));
        EXPECT_EQ(AddRange("10", "04", "10", "06", {0}), "M010003");
        if (pagesLeft == 999) {
            view.answerYes = true;
            ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
            EXPECT_EQ(ctx.m_editor.OnDelete(), "Q010003");
        }
        ASSERT_TRUE(remount(0));
        fs::remove(volume + "/filler");
        EXPECT_TRUE(EntriesBelow(reserved) == before);
        EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
    }
}
