// The ranges a pull fetches at a given moment: whole minutes only, one entry per day, and days
// that a clock change makes 23 or 25 hours long.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "PullRange.h"

namespace {

// The moment of a local time in the zone of TZ.
std::time_t At(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = 30;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string Text(const std::vector<PullEntry>& entries) {
    std::string out;
    for (const PullEntry& e : entries)
        out += e.day + " " + e.start + "-" + e.end + ";";
    return out;
}

class PullRangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        ::tzset();
    }
    void TearDown() override {
        ::setenv("TZ", saved_.c_str(), 1);
        ::tzset();
    }
    std::vector<PullEntry> Range(const std::string& text, std::time_t now) {
        why.clear();
        return PullEntries(text, now, why);
    }
    std::string saved_, why;
};

}  // namespace

TEST_F(PullRangeTest, NamedRangesEndAtTheLastWholeMinuteAndSplitAtMidnight) {
    const std::time_t now = At(2026, 12, 8, 1, 15);
    EXPECT_EQ(Text(Range("yesterday", now)), "20261207 0000-2359;");
    EXPECT_EQ(Text(Range("today", now)), "20261208 0000-0114;");
    EXPECT_EQ(Text(Range("last 3 hours", now)), "20261207 2215-2359;20261208 0000-0114;");
    EXPECT_EQ(Text(Range("  last 1 hours ", now)), "20261208 0015-0114;");
    EXPECT_EQ(Text(Range("20100523 1000 1003", now)), "20100523 1000-1003;");
    // The first minute of a day has no whole minute of today yet.
    EXPECT_EQ(Text(Range("today", At(2026, 12, 8, 0, 0))), "");
    EXPECT_TRUE(why.empty());
    // New Year: yesterday is in the year before.
    EXPECT_EQ(Text(Range("yesterday", At(2027, 1, 1, 9, 0))), "20261231 0000-2359;");
}

TEST_F(PullRangeTest, DaysOfAClockChangeAreWholeDays) {
    // The day after the spring change (23 hours) and after the autumn one (25 hours).
    EXPECT_EQ(Text(Range("yesterday", At(2026, 3, 30, 6, 0))), "20260329 0000-2359;");
    EXPECT_EQ(Text(Range("yesterday", At(2026, 10, 26, 6, 0))), "20261025 0000-2359;");
    // Thirty hours back over the 23-hour day reach an hour into the day before it.
    EXPECT_EQ(Text(Range("last 30 hours", At(2026, 3, 30, 6, 0))),
              "20260328 2300-2359;20260329 0000-2359;20260330 0000-0559;");
}

TEST_F(PullRangeTest, WhatNamesNoRangeIsRefusedSayingWhatIsTaken) {
    const std::time_t now = At(2026, 12, 8, 12, 0);
    for (const char* bad : {"", "tomorrow", "last hours", "last 0 hours", "last 745 hours",
                            "last 2 days", "20100523 1003 1000", "20100523 1060 1070",
                            "20100523 2400 2401", "2010052 1000 1003", "20100523 10:00 10:03"}) {
        EXPECT_TRUE(Range(bad, now).empty()) << bad;
        EXPECT_NE(why.find("range takes yesterday, today, last N hours"), std::string::npos) << bad;
    }
}

// What failed runs kept, made as few ranges as cover the same minutes: "today" every hour
// (each range holds the one before), ranges that meet, and days kept apart.
TEST_F(PullRangeTest, KeptRangesAreMadeOneWhereTheyOverlapOrMeet) {
    const auto entries = [this](std::initializer_list<const char*> texts) {
        std::vector<PullEntry> out;
        for (const char* t : texts) {
            const std::vector<PullEntry> one = Range(t, 0);
            EXPECT_EQ(one.size(), 1u) << t;
            out.insert(out.end(), one.begin(), one.end());
        }
        return out;
    };
    EXPECT_EQ(Text(Coalesced(
                  entries({"20261208 0000 0959", "20261208 0000 1059", "20261208 0000 1159"}))),
              "20261208 0000-1159;");
    // Meeting at a minute's edge; one inside another; out of order; another day beside.
    EXPECT_EQ(
        Text(Coalesced(entries({"20261208 1200 1259", "20261207 2300 2359", "20261208 1000 1159",
                                "20261208 1030 1040", "20261208 0000 0014"}))),
        "20261207 2300-2359;20261208 0000-0014;20261208 1000-1259;");
    // A minute apart is no overlap: the minute between stays out.
    EXPECT_EQ(Text(Coalesced(entries({"20261208 1000 1001", "20261208 1003 1004"}))),
              "20261208 1000-1001;20261208 1003-1004;");
    EXPECT_EQ(Text(Coalesced({})), "");
}
