// The camera pages and Select all: the 24-camera recorder pages once and has no camera past the
// 24th, a camera's selection outlives paging, and Select all takes every camera that recorded.
#include "BackupFixture.h"

class CameraPagingTest : public BackupFixture {};

TEST_F(CameraPagingTest, TwentyFourCamerasPageOnceAndKeepTheirSelection) {
    ctx.m_host.camCount = 24;
    RecordDay(600, 602, 0, 24);
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    ctx.m_chooser.SetTimeRange({"10", "00", "10", "02"});
    ctx.m_chooser.OnNextPage();
    EXPECT_EQ(ctx.m_day.camPage, 1);
    EXPECT_EQ(view.page.number, "2/2");
    EXPECT_EQ(view.page.cameras[0].name, "17");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(view.page.cameras[i].present, i < 8) << i;
    ctx.m_chooser.OnCameraBox(3);  // camera 20
    EXPECT_EQ(ctx.m_day.camSel[19], 1u);
    ctx.m_chooser.OnNextPage();  // the last page already
    EXPECT_EQ(ctx.m_day.camPage, 1);
    ctx.m_chooser.OnPrevPage();
    EXPECT_EQ(ctx.m_day.camPage, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(view.page.cameras[i].present) << i;
    ctx.m_chooser.OnNextPage();
    EXPECT_TRUE(view.page.cameras[3].selected);
}

TEST_F(CameraPagingTest, SelectAllTakesEveryCameraThatRecordedInTheRange) {
    ctx.m_host.camCount = 16;
    RecordDay(600, 602, 0, 8);
    ASSERT_TRUE(ctx.m_chooser.SelectBackupDay("20100523"));
    ctx.m_chooser.SetTimeRange({"10", "01", "10", "01"});
    ctx.m_chooser.OnSelectAllCameras();
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(ctx.m_day.camSel[c], c < 8 ? 1u : 0u) << c;
        EXPECT_EQ(view.page.cameras[c].selected, c < 8) << c;
    }
}
