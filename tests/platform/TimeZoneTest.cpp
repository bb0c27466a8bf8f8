// The zone a process reckons local times in, named as a zone of the system's database: a name
// that is a path of its own, or no zone at all, is refused and changes nothing.
#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "ScopedEnv.h"
#include "share/Has.h"

namespace {

class TimeZoneTest : public ::testing::Test {
  protected:
    void SetUp() override { ::tzset(); }
    void TearDown() override {
        zone_.reset();
        ::tzset();
    }
    static int LocalHourAt(std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        return tm.tm_hour;
    }
    std::unique_ptr<ScopedEnv> zone_ = std::make_unique<ScopedEnv>("TZ", "UTC");
};

}  // namespace

TEST_F(TimeZoneTest, AZoneOfTheDatabaseBecomesLocalTimeAndNothingElseDoes) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Etc/GMT-14"))
        GTEST_SKIP() << "no time zone database";
    const std::time_t noon = 12 * 3600;  // 1970-01-01 12:00 UTC
    for (const char* bad : {"", "/etc/localtime", "../../../etc/passwd", "Etc/../Etc/GMT-14",
                            "Nowhere/Atlantis", "Etc", "UTC;rm", "Europe/Berlin\n"}) {
        const platform::Outcome used = platform::UseTimeZone(bad);
        ASSERT_FALSE(used) << bad;
        EXPECT_EQ(used.error().kind, platform::Error::Kind::kNotFound) << bad;
        EXPECT_HAS(used.error().Said(), "no time zone") << bad;
        EXPECT_EQ(LocalHourAt(noon), 12) << bad;  // as it was
    }
    ASSERT_TRUE(platform::UseTimeZone("Etc/GMT-14"));
    EXPECT_EQ(LocalHourAt(noon), 2);  // fourteen hours east: the next day's 02:00
    ASSERT_TRUE(platform::UseTimeZone("Etc/GMT+12"));
    EXPECT_EQ(LocalHourAt(noon), 0);
}

// What a reading of the local clock stands for: one instant, two in the hour a change back
// repeats (the earlier first, each with its own offset and name), none in the hour a change
// forward skips.
TEST_F(TimeZoneTest, AReadingOfTheLocalClockIsOneInstantTwoOrNone) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/London"))
        GTEST_SKIP() << "no time zone database";
    ASSERT_TRUE(platform::UseTimeZone("Europe/London"));
    EXPECT_EQ(platform::LocalTimeZoneName(), "Europe/London");
    const long long oct25 = 1792886400;  // 2026-10-25 00:00 as a reading
    std::vector<platform::ClockInstant> at = platform::InstantsOfLocalClock(oct25 + 5400);
    ASSERT_EQ(at.size(), 2u);  // 01:30
    EXPECT_EQ(at[0].utc, oct25 + 1800);
    EXPECT_EQ(at[0].offset, 3600);
    EXPECT_EQ(at[0].abbreviation, "BST");
    EXPECT_EQ(at[1].utc, oct25 + 5400);
    EXPECT_EQ(at[1].abbreviation, "GMT");
    EXPECT_EQ(platform::InstantsOfLocalClock(oct25 + 7200).size(), 1u);  // 02:00
    EXPECT_EQ(platform::InstantsOfLocalClock(oct25 + 3599).size(), 1u);  // 00:59:59
    const long long mar29 = 1774742400;                                  // 2026-03-29 00:00
    EXPECT_TRUE(platform::InstantsOfLocalClock(mar29 + 5400).empty());   // 01:30 never was
    at = platform::InstantsOfLocalClock(mar29 + 7200);                   // 02:00 BST
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0].utc, mar29 + 3600);
    ASSERT_TRUE(platform::UseTimeZone("Asia/Kolkata"));
    at = platform::InstantsOfLocalClock(oct25);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(platform::OffsetText(at[0].offset), "UTC+05:30");
    EXPECT_EQ(platform::OffsetText(-5 * 3600), "UTC-05:00");
}
