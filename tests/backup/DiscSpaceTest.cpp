// The disc's space as the capacity bar shows it: the part used, the part the schedule will use,
// the free megabytes in words, Erase for a rewritable disc only; a disc without capacity is full,
// and no disc shows nothing.
#include "BackupFixture.h"
#include "FakeDiscWriter.h"
#include "PseudoDrives.h"

class DiscSpaceTest : public BackupFixture {};

TEST_F(DiscSpaceTest, UsedAndPlannedSpaceAndTheFreeMegabytes) {
    MapPseudoDrive(prefix(), 'D', prefix() + "/d.iso");
    FakeDiscWriter disc;  // 700 MB, rewritable
    ctx.m_disc.writer = &disc;
    for (const auto& [freeMB, percent] : {std::pair{700.0, 0}, {350.0, 50}, {0.0, 100}}) {
        disc.freeMB = freeMB;
        ctx.m_targets.TellDiscSpace(true);
        EXPECT_EQ(view.meter, backup::Meter::kDiscSpace);
        EXPECT_EQ(view.discSpace.usedPercent, percent);
        EXPECT_EQ(view.discSpace.text, app.GetLanguageText("BACKUP", "M010023") + " : " +
                                           std::to_string(static_cast<int>(freeMB)) + "M");
    }
    EXPECT_TRUE(view.eraseOffered);
    disc.mediaType = 2;  // write-once
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_FALSE(view.eraseOffered);
    // 350 MB of 700 used, 175 MB planned.
    disc.freeMB = 350;
    ctx.m_schedule.totalKB = 175 * 1024;
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_EQ(view.discSpace.afterBackupPercent, 75);
    disc.capacityMB = 0;
    ctx.m_targets.TellDiscSpace(true);
    EXPECT_EQ(view.discSpace.usedPercent, 100);
    ctx.m_targets.TellDiscSpace(false);
    EXPECT_EQ(view.meter, backup::Meter::kNone);
    EXPECT_FALSE(view.eraseOffered);
    ctx.m_disc.writer = nullptr;
}
