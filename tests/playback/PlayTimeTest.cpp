// The start times the today limit lets play, the speed steps and each picture's due time.
#include <gtest/gtest.h>

#include <ctime>

#include "playback/PlayTime.h"

using namespace playback;

TEST(PlayTime, TheTodayLimitAnswersBeforeTheWindowAfterNowOrPlayable) {
    std::tm at{
        .tm_min = 30, .tm_hour = 14, .tm_mday = 23, .tm_mon = 4, .tm_year = 110, .tm_isdst = -1};
    const std::int64_t now = static_cast<std::int64_t>(std::mktime(&at)) + 25;  // 14:30:25
    const std::int64_t start = now - 86400;
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 22, 14, 29), kBeforeWindow);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 22, 14, 30), kPlayable);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 23, 14, 30), kPlayable);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 23, 14, 31), kAfterNow);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2001, 1, 1, 0, 0), kPlayable);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2010, 2, 31, 0, 0), kNotPlayable);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2010, 5, 23, 24, 0), kNotPlayable);
}

TEST(PlayTime, SpeedStepsScaleThePace) {
    EXPECT_DOUBLE_EQ(SpeedFactor(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(5, 1), 6.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(5, 2), 1.0 / 6.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(3, 0), 1.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(99, 1), 11.0);
}

TEST(PlayTime, PicturesSharingASecondAreSpreadOverIt) {
    std::vector<PictureRef> pictures;
    for (int i = 0; i < 25; ++i)
        pictures.push_back({100, i, 1});
    pictures.insert(pictures.end(), {{101, 25, 1}, {101, 26, 1}, {105, 27, 1}});
    const auto t = PictureTimes(pictures);
    EXPECT_DOUBLE_EQ(t[0], 100.0);
    EXPECT_NEAR(t[1] - t[0], 0.04, 1e-9);
    EXPECT_NEAR(t[24], 100.96, 1e-9);
    EXPECT_DOUBLE_EQ(t[25], 101.0);
    EXPECT_DOUBLE_EQ(t[26], 101.5);
    EXPECT_DOUBLE_EQ(t[27], 105.0);
}
