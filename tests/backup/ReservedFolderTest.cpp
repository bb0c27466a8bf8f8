#include "backup/schedule/ReservedFolder.h"

#include <filesystem>

#include "BackupFixture.h"

namespace fs = std::filesystem;

class ReservedFolderTest : public BackupFixture<> {};

TEST_F(ReservedFolderTest, DayMapLoadSetsFlagsOnlyForRecordedMinutes) {
    std::string day(92164, '\0');
    day[2 * 1440 + 10 * 60 + 7] = 5;  // any nonzero byte counts as recorded
    day[0 * 1440 + 23 * 60 + 59] = 1;
    WriteText(driveC() + "/QorData/20100523/20100523.dat", day);
    ctx.m_day.recMap.fill(9);
    ASSERT_TRUE(ScanRecordedDay(ctx.m_host, ctx.m_day, "20100523"));
    int recorded = 0;
    for (auto b : ctx.m_day.recMap)
        recorded += b;
    EXPECT_EQ(recorded, 2);
    EXPECT_EQ(ctx.m_day.recMap[2 * 1440 + 10 * 60 + 7], 1);
    EXPECT_TRUE(ctx.m_day.hourHasRec[10] && ctx.m_day.hourHasRec[23] && !ctx.m_day.hourHasRec[11]);
    EXPECT_TRUE(ctx.m_day.minuteHasRec[10 * 60 + 7] && !ctx.m_day.minuteHasRec[10 * 60 + 8]);
    EXPECT_TRUE(ctx.m_day.camExist[0] && ctx.m_day.camExist[2] && !ctx.m_day.camExist[1]);
    EXPECT_FALSE(ScanRecordedDay(ctx.m_host, ctx.m_day, "20100524"));
}

TEST_F(ReservedFolderTest, ADamagedScheduleIsShownToTheOperatorAndNotLoaded) {
    ctx.m_schedule.table[0].bUsed = 1;
    SetKeys(ctx.m_schedule.table[0], "201005231400", "201005231401");
    ctx.m_schedule.table[0].bCam[0] = 1;
    ASSERT_TRUE(SaveScheduleTable(ctx.m_host, ctx.m_schedule));
    WriteText(driveC() + "/Prog/Reserved/reserve.dat", std::string(24400, '\x07'));
    ctx.Clear();
    ctx.m_host.basePath = "C:\\Prog\\";
    EXPECT_FALSE(LoadScheduleTable(ctx.m_host, ctx.m_schedule, ctx.m_prompts));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].text.find("damaged"), std::string::npos);
    EXPECT_NE(view.messages[0].text.find("slot 1"), std::string::npos);
    EXPECT_EQ(ctx.m_schedule.table[0].bUsed, 0u);
    EXPECT_TRUE(fs::exists(driveC() + "/Prog/Reserved/reserve.dat.damaged"));
}
