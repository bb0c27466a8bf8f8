// The ranges a pull fetches at a given moment: whole minutes only, one entry per day, and days
// that a clock change makes 23 or 25 hours long.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "ScopedEnv.h"
#include "pull/PullRange.h"
#include "share/Has.h"

using namespace pull;

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
    void SetUp() override { ::tzset(); }
    void TearDown() override {
        zone_.reset();
        ::tzset();
    }
    // The entries, or none with why and kind set.
    std::vector<PullEntry> Range(const std::string& text, std::time_t now,
                                 std::time_t* reached = nullptr) {
        const platform::Expected<std::vector<PullEntry>> entries = PullEntries(text, now, reached);
        why = entries ? std::string() : entries.error().Said();
        kind = entries ? platform::Error::Kind::kFailed : entries.error().kind;
        return entries ? *entries : std::vector<PullEntry>();
    }
    std::unique_ptr<ScopedEnv> zone_ =
        std::make_unique<ScopedEnv>("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    std::string why;
    platform::Error::Kind kind = platform::Error::Kind::kFailed;
};

}  // namespace

// Named ranges end at the last whole minute and split at midnight; the days of a clock change
// (23 or 25 hours long, or one whose midnight is 01:00) are whole days all the same.
TEST_F(PullRangeTest, NamedRangesAreWholeMinutesSplitAtMidnightOverClockChanges) {
    struct Case {
        const char *zone, *range;
        int y, mo, d, h, mi;
        const char* expected;
    };
    const char* cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    const char* midnight = "<-04>4<-03>,M9.1.6/24,M4.1.6/24";  // 00:00 is 01:00
    const Case cases[] = {
        {cet, "yesterday", 2026, 12, 8, 1, 15, "20261207 0000-2359;"},
        {cet, "today", 2026, 12, 8, 1, 15, "20261208 0000-0114;"},
        {cet, "last 3 hours", 2026, 12, 8, 1, 15, "20261207 2215-2359;20261208 0000-0114;"},
        {cet, "  last 1 hours ", 2026, 12, 8, 1, 15, "20261208 0015-0114;"},
        {cet, "20100523 1000 1003", 2026, 12, 8, 1, 15, "20100523 1000-1003;"},
        {cet, "today", 2026, 12, 8, 0, 0, ""},  // no whole minute of today yet
        {cet, "yesterday", 2027, 1, 1, 9, 0, "20261231 0000-2359;"},
        {cet, "yesterday", 2026, 3, 30, 6, 0, "20260329 0000-2359;"},   // 23 hours
        {cet, "yesterday", 2026, 10, 26, 6, 0, "20261025 0000-2359;"},  // 25 hours
        {cet, "last 30 hours", 2026, 3, 30, 6, 0,
         "20260328 2300-2359;20260329 0000-2359;20260330 0000-0559;"},
        {midnight, "yesterday", 2026, 9, 6, 1, 30, "20260905 0000-2359;"},
        {midnight, "today", 2026, 9, 6, 1, 30, "20260906 0100-0129;"},
        {midnight, "yesterday", 2026, 9, 7, 0, 30, "20260906 0100-2359;"},
        {midnight, "last 3 hours", 2026, 9, 6, 1, 30, "20260905 2130-2359;20260906 0100-0129;"},
    };
    for (const Case& c : cases) {
        ::setenv("TZ", c.zone, 1);
        ::tzset();
        EXPECT_EQ(Text(Range(c.range, At(c.y, c.mo, c.d, c.h, c.mi))), c.expected)
            << c.range << " at " << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi;
        EXPECT_TRUE(why.empty()) << c.range;
    }
}

// What names no range, or a day the calendar does not have, is refused saying why; leap days
// are taken.
TEST_F(PullRangeTest, WhatNamesNoRangeOrDayIsRefusedSayingWhy) {
    const std::time_t now = At(2026, 12, 8, 12, 0);
    const std::string form = "range takes yesterday, today, last N hours";
    for (const char* bad : {"", "tomorrow", "last hours", "last 0 hours", "last 745 hours",
                            "last 2 days", "20100523 1003 1000", "20100523 1060 1070",
                            "20100523 2400 2401", "2010052 1000 1003", "20100523 10:00 10:03"}) {
        EXPECT_TRUE(Range(bad, now).empty()) << bad;
        EXPECT_HAS(why, form) << bad;
        EXPECT_EQ(kind, platform::Error::Kind::kDamaged) << bad;
    }
    for (const char* bad :
         {"20261399 1000 1003", "20261300 1000 1003", "20260230 1000 1003", "20250229 1000 1003",
          "21000229 1000 1003", "20260431 1000 1003", "20261232 1000 1003", "20261200 1000 1003",
          "00000000 1000 1003", "00000101 1000 1003"}) {
        EXPECT_TRUE(Range(bad, now).empty()) << bad;
        EXPECT_HAS(why,
                   "range names a day the calendar does not have: " + std::string(bad).substr(0, 8))
            << bad << ": " << why;
    }
    for (const char* good : {"20240229 1000 1003", "20000229 0000 2359", "20261231 1000 1003"}) {
        EXPECT_EQ(Range(good, now).size(), 1u) << good;
        EXPECT_EQ(why, "") << good;
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

// Runs of a named range, one after another as a timer starts them: together they take every
// minute, though a run starts late, a day ends between two runs of "today", or runs were
// missed while the pulling machine was off.
TEST_F(PullRangeTest, NamedRangesTakeTheMinutesTheRunBeforeDidNotReach) {
    const auto run = [this](const std::string& range, std::time_t now, std::time_t& reached) {
        return Text(Range(range, now, &reached));
    };
    std::time_t reached = 0;
    // The first run has no run before it.
    EXPECT_EQ(run("last 1 hours", At(2026, 12, 8, 3, 0), reached), "20261208 0200-0259;");
    EXPECT_EQ(reached, At(2026, 12, 8, 3, 0) - 30);
    // The next one starts a minute and a half late: the minute 03:00 is still taken.
    EXPECT_EQ(run("last 1 hours", At(2026, 12, 8, 4, 1), reached), "20261208 0300-0400;");
    // One a little early takes its own hour again, and the mark stays where the last run ended.
    EXPECT_EQ(run("last 1 hours", At(2026, 12, 8, 4, 30), reached), "20261208 0330-0429;");
    EXPECT_EQ(reached, At(2026, 12, 8, 4, 30) - 30);

    // "today" every hour: the run after midnight takes the last hour of the day before.
    reached = 0;
    EXPECT_EQ(run("today", At(2026, 12, 8, 23, 0), reached), "20261208 0000-2259;");
    EXPECT_EQ(run("today", At(2026, 12, 9, 0, 0), reached), "20261208 2300-2359;");
    EXPECT_EQ(run("today", At(2026, 12, 9, 1, 0), reached), "20261209 0000-0059;");

    // "yesterday" once a day, with two days missed: the catch-up run takes all three.
    reached = 0;
    EXPECT_EQ(run("yesterday", At(2026, 12, 8, 0, 5), reached), "20261207 0000-2359;");
    EXPECT_EQ(run("yesterday", At(2026, 12, 11, 0, 5), reached),
              "20261208 0000-2359;20261209 0000-2359;20261210 0000-2359;");
    // Over the autumn clock change, whose day is 25 hours long.
    reached = 0;
    EXPECT_EQ(run("yesterday", At(2026, 10, 24, 0, 5), reached), "20261023 0000-2359;");
    EXPECT_EQ(run("yesterday", At(2026, 10, 27, 0, 5), reached),
              "20261024 0000-2359;20261025 0000-2359;20261026 0000-2359;");

    // A run before a year of nothing reaches back no further than the longest range.
    reached = At(2025, 12, 8, 0, 0);
    EXPECT_EQ(run("last 1 hours", At(2026, 12, 8, 12, 0), reached).substr(0, 19),
              "20261107 1100-2359;");
    // A range of its own days and minutes neither takes from the mark nor moves it.
    reached = At(2026, 12, 1, 0, 0);
    EXPECT_EQ(run("20100523 1000 1003", At(2026, 12, 8, 12, 0), reached), "20100523 1000-1003;");
    EXPECT_EQ(reached, At(2026, 12, 1, 0, 0));
}
