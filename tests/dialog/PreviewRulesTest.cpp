// The preview's rules without a window: day labels, the days listed, what the player is given.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/CConvertDateType.h"
#include "preview/PlaybackChoices.h"
#include "preview/PreviewDays.h"

TEST(PreviewRulesTest, ADayLabelLeadsBackToItsDayInEveryDateType) {
    const CConvertDateType convert;
    for (int type = -1; type <= 9; ++type) {
        const std::string label = convert.DateToDisplay("2010-05-23", static_cast<unsigned>(type));
        EXPECT_EQ(LabelToDayKey(label, type), "2010-05-23") << type << " " << label;
    }
    EXPECT_EQ(LabelToDayKey("2010-05", 0), "");
    EXPECT_EQ(LabelToDayKey("", 4), "");
    EXPECT_EQ(LabelToDayKey("2010-05-", 0), "2010-05-");  // what the label lacks stays empty
    EXPECT_EQ(StoredDayToKey("20100523"), "2010-05-23");
}

TEST(PreviewRulesTest, DaysAreListedNewestFirstFromTheOldestDayOn) {
    const std::vector<std::string> days = {"2010-05-22", "2009-12-31", "2010-05-23", "2010-05-21"};
    EXPECT_EQ(DaysToList(days, ""),
              (std::vector<std::string>{"2010-05-23", "2010-05-22", "2010-05-21", "2009-12-31"}));
    // The oldest day itself is listed.
    EXPECT_EQ(DaysToList(days, "20100522"), (std::vector<std::string>{"2010-05-23", "2010-05-22"}));
    EXPECT_TRUE(DaysToList(days, "20100524").empty());
    EXPECT_TRUE(DaysToList({}, "").empty());
    EXPECT_EQ(LocalDayDigits(1274608800), "20100523");  // 10:00 UTC; the tests run in UTC
    EXPECT_EQ(LocalDayDigits(1274608800 - 11 * 3600), "20100522");
}

TEST(PreviewRulesTest, TheTimeSpeedAndCameraTheComponentIsGiven) {
    const PlayTime t = PlayTimeOf("20100523", 10, 17);
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute}),
              (std::vector<int>{2010, 5, 23, 10, 17}));
    const PlayTime part = PlayTimeOf("2010", 1, 2);
    EXPECT_EQ((std::vector<int>{part.year, part.month, part.day}), (std::vector<int>{2010, 0, 0}));

    // Slower to the left of the middle, faster to its right, one step a notch.
    const std::pair<int, int> speeds[11] = {{5, 2}, {4, 2}, {3, 2}, {2, 2}, {1, 2}, {0, 0},
                                            {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}};
    for (int p = 0; p <= 10; ++p) {
        const PlaySpeed s = SpeedOfSlider(p);
        EXPECT_EQ(std::pair(s.steps, s.mode), speeds[p]) << p;
    }

    for (int camera : {0, 63}) {
        const DVR_SEARCHCAM cams = OneCamera(camera);
        EXPECT_EQ(cams.value[16 + camera], 1u);
        EXPECT_EQ(std::count(std::begin(cams.value), std::end(cams.value), 0u), 79) << camera;
    }
    for (int camera : {-1, 64}) {
        const DVR_SEARCHCAM none = OneCamera(camera);
        EXPECT_EQ(std::count(std::begin(none.value), std::end(none.value), 0u), 80) << camera;
    }
}
