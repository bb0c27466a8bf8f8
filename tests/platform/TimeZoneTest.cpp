// The zone a process reckons local times in, named as a zone of the system's database: a name
// that is a path of its own, or no zone at all, is refused and changes nothing.
#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace {

class TimeZoneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        had_ = tz != nullptr;
        saved_ = tz ? tz : "";
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (had_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static int LocalHourAt(std::time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        return tm.tm_hour;
    }
    bool had_ = false;
    std::string saved_;
};

}  // namespace

TEST_F(TimeZoneTest, AZoneOfTheDatabaseBecomesLocalTimeAndNothingElseDoes) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Etc/GMT-14"))
        GTEST_SKIP() << "no time zone database";
    const std::time_t noon = 12 * 3600;  // 1970-01-01 12:00 UTC
    std::string why;
    for (const char* bad : {"", "/etc/localtime", "../../../etc/passwd", "Etc/../Etc/GMT-14",
                            "Nowhere/Atlantis", "Etc", "UTC;rm", "Europe/Berlin\n"}) {
        why.clear();
        EXPECT_FALSE(platform::UseTimeZone(bad, why)) << bad;
        EXPECT_NE(why.find("no time zone"), std::string::npos) << bad;
        EXPECT_EQ(LocalHourAt(noon), 12) << bad;  // as it was
    }
    ASSERT_TRUE(platform::UseTimeZone("Etc/GMT-14", why)) << why;
    EXPECT_EQ(LocalHourAt(noon), 2);  // fourteen hours east: the next day's 02:00
    ASSERT_TRUE(platform::UseTimeZone("Etc/GMT+12", why)) << why;
    EXPECT_EQ(LocalHourAt(noon), 0);
}
