// The schedule read into values of a front end's own: each listed entry with its record and what
// its information file says, and why, when that file cannot say it.
#include "backup/schedule/ScheduleListing.h"

#include <filesystem>
#include <fstream>

#include "BackupFixture.h"
#include "platform/DrivePaths.h"
#include "storage/RecorderPaths.h"

using ScheduleListingTest = BackupFixture<>;

TEST_F(ScheduleListingTest, AListedEntryCarriesItsRecordMemoAndModelOrWhyItsFileCannotSay) {
    RecordDay(600, 610);
    ctx.m_host.modelCode = 0x671;
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    Choose("10", "00", "10", "05", {1, 3});
    ctx.m_editor.OnChangeMemo("gate 2");
    ASSERT_EQ(ctx.m_editor.OnAdd(view.range), "");

    ctx.m_host.modelCode = 0x672;  // the file's model is the one the entry was made with
    backup::ScheduleListing listing = ctx.Schedule();
    ASSERT_EQ(listing.entries.size(), 1u);
    const backup::ListedEntry& e = listing.entries[0];
    EXPECT_EQ(e.label, ctx.m_schedule.rows[0]);
    ASSERT_GE(e.slot, 0);
    EXPECT_EQ(e.record.bCam[1], 1u);
    EXPECT_EQ(e.record.bCam[0], 0u);
    EXPECT_EQ(e.record.nSize, ctx.m_schedule.table[static_cast<std::size_t>(e.slot)].nSize);
    EXPECT_EQ(listing.totalKB, ctx.m_schedule.totalKB);
    EXPECT_FALSE(listing.totalText.empty());
    EXPECT_EQ(e.memo, "gate 2");
    EXPECT_EQ(e.model, 0x671u);
    EXPECT_EQ(e.infoProblem, "");

    // The file cut short, then gone: no memo, the host's model, and which of the two it is.
    const std::string entry = LabelToEntry(e.label, ctx.m_host.dateType);
    const std::string info = paths::WorkingInfoPath(ctx.m_host.basePath, entry);
    const std::string host = platform::ResolvePath(info);
    std::filesystem::resize_file(host, 3);
    listing = ctx.Schedule();
    EXPECT_EQ(listing.entries[0].memo, "");
    EXPECT_EQ(listing.entries[0].model, 0x672u);
    EXPECT_EQ(listing.entries[0].infoProblem, info + " is damaged");
    std::filesystem::remove(host);
    EXPECT_EQ(ctx.Schedule().entries[0].infoProblem, info + " is missing");

    // A row the table does not hold is listed without a slot.
    ctx.m_schedule.rows.push_back("2010/05/23 11:00~11:05");
    listing = ctx.Schedule();
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[1].slot, -1);
}
