// The skin's position files as the buttons read them, the shape a mask gives a window, and the
// skin in data/GUIS being exactly what its generator draws.
#include <filesystem>
#include <tuple>

#include "TestEnv.h"
#include "mkskin/SkinArt.h"
#include "skin/MaskRegion.h"
#include "skin/SkinPositions.h"

using namespace skin;

class SkinFilesTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        WriteText(driveC() + "/GUIS/btn.pos",
                  "[BackupDlg]\n"
                  "ViewFirst=2,3,40,30,1,\n"
                  "Gaps=,5,,6,7,8\n"
                  "Wild=1,2,3,4,9,\n"
                  "Below=1,2,3,4,-4,\n"
                  "Short=12,13\n"
                  "[PanTiltOption]\n"
                  "Pan=70,80,1,1,0,\n");
        WriteText(driveC() + "/GUIS/cut.pos", "[BackupDlg]\nViewFirst=40,0,40,30,7,\n");
        WriteText(driveC() + "/Language.eng", "[BackupDlg]\nViewStop=Stop,Tahoma,161,-12,700,\n");
    }
    const std::string btn = "C:\\GUIS\\btn.pos", cut = "C:\\GUIS\\cut.pos";
};

TEST_F(SkinFilesTest, PositionsAreReadFieldByFieldWithGapsSkippedAndMissingAsZero) {
    EXPECT_EQ(ButtonPositionFile("C:"), btn);
    for (const auto& [section, key, fields] :
         {std::tuple{"backupdlg", "viewfirst", std::vector{2, 3, 40, 30, 1}},
          {"BackupDlg", "Gaps", {5, 6, 7, 8, 0}},
          {"BackupDlg", "Short", {12, 13, 0, 0, 0}},
          {"BackupDlg", "ViewLast", {0, 0, 0, 0, 0}}}) {
        const auto p = ReadButtonPosition(btn, section, key);
        EXPECT_EQ((std::vector<int>{p.x, p.y, p.w, p.h, p.drawMode}), fields) << key;
    }
    EXPECT_EQ(ClampDrawMode(ReadButtonPosition(btn, "BackupDlg", "Wild").drawMode), 2);
    EXPECT_EQ(ClampDrawMode(ReadButtonPosition(btn, "BackupDlg", "Below").drawMode), 0);
    EXPECT_EQ(ReadPanPosition(btn, "PanTiltOption", "Pan"), std::make_pair(70, 80));
    EXPECT_EQ(ReadPanPosition(btn, "PanTiltOption", "Tilt"), std::make_pair(0, 0));

    const auto cutFirst = ReadCutPosition(cut, "BackupDlg", "ViewFirst");
    EXPECT_TRUE(cutFirst.found);
    EXPECT_EQ((std::vector<int>{cutFirst.x, cutFirst.w, cutFirst.extra}),
              (std::vector<int>{40, 40, 7}));
    EXPECT_FALSE(ReadCutPosition(cut, "BackupDlg", "ViewStop").found);

    // Written back with the trailing comma, and read the same.
    ASSERT_TRUE(WriteButtonPosition(btn, "BackupDlg", "ViewStop", {134, 2, 40, 30, 2}));
    EXPECT_NE(ReadText(driveC() + "/GUIS/btn.pos").find("ViewStop=134,2,40,30,2,"),
              std::string::npos);
    EXPECT_EQ(ReadButtonPosition(btn, "BackupDlg", "ViewStop").drawMode, 2);
}

TEST_F(SkinFilesTest, ATitleEntryGivesTitleAndFontAndAMissingOneTheKey) {
    const auto stop = ReadTitleInfo("C:\\Language.eng", "BackupDlg", "ViewStop");
    EXPECT_EQ(std::tuple(stop.title, stop.face, stop.charset, stop.height, stop.weight),
              std::tuple("Stop", "Tahoma", 161, -12, 700));
    EXPECT_EQ(ReadTitleInfo("C:\\Language.eng", "BackupDlg", "ViewLast").title, "ViewLast");
    ASSERT_TRUE(
        WriteTitleInfo("C:\\Language.eng", "BackupDlg", "ViewLast", {"Last", "Arial", 0, 14, 600}));
    EXPECT_NE(ReadText(driveC() + "/Language.eng").find("ViewLast=Last,Arial,0,14,600,"),
              std::string::npos);
}

TEST(MaskRegion, RunsOfEachRowFromTheBottomUp) {
    // . = transparent (white), # = shape
    const std::vector<std::string> rows = {"#..#", "####", ".##."};
    auto pixel = [&](int x, int y) -> std::uint32_t {
        return rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#' ? 0 : 0xFFFFFF;
    };
    const auto rects = RegionFromBitmap(4, 3, pixel, 0xFFFFFF);
    ASSERT_TRUE(rects.has_value());
    EXPECT_EQ(*rects,
              (std::vector<RegionRect>{{1, 2, 3, 3}, {0, 1, 4, 2}, {0, 0, 1, 1}, {3, 0, 4, 1}}));
    const auto clear = RegionFromBitmap(
        2, 2, [](int, int) { return 0xFFFFFFu; }, 0xFFFFFF);
    ASSERT_TRUE(clear.has_value());
    EXPECT_TRUE(clear->empty());
    EXPECT_FALSE(RegionFromBitmap(0, 5, pixel, 0xFFFFFF).has_value());
}

TEST(SkinGenerator, TheSkinInDataIsWhatTheGeneratorDraws) {
    const auto files = mkskin::MakeSkin();
    ASSERT_EQ(files.size(), 7u);
    for (const auto& f : files) {
        const std::string path = std::string(QUILLON_SOURCE_DIR) + "/data/GUIS/" + f.name;
        const std::string kept = TempPrefixTest::ReadText(path);
        EXPECT_TRUE(kept == std::string(f.bytes.begin(), f.bytes.end()))
            << f.name << " differs from the generator's; run quillon-mkskin data/GUIS";
    }
    // The five bitmaps are one size: every button's cut rectangle lies in each.
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(files[i].bytes.size(), files[0].bytes.size()) << files[i].name;
}
