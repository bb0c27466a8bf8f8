// What a file says of the recorder's clock: the offset to the millisecond, an uncertainty that
// never states less than was measured, and a start corrected only by a link's measurement.
#ifdef QUILLON_HAVE_VIDEO
#include <gtest/gtest.h>

#include "video/ClockStatement.h"

using video::ClockOffsetTicks;
using video::ClockStatement;

TEST(ClockStatementTest, TheOffsetToTheMillisecondWithinAnUncertaintyRoundedUp) {
    EXPECT_EQ(ClockStatement({"link", 90.0004, 0.0000861}),
              "recorder clock offset +90.000 s \u00b1 0.001 s, measured over the link");
    // A whole number of milliseconds stays itself (2.007 * 1000 is a hair above 2007).
    EXPECT_EQ(ClockStatement({"link", -1.2346, 2.007}),
              "recorder clock offset -1.235 s \u00b1 2.007 s, measured over the link");
    EXPECT_EQ(ClockStatement({"link", 0.5, 0.0071}),
              "recorder clock offset +0.500 s \u00b1 0.008 s, measured over the link");
    EXPECT_EQ(ClockOffsetTicks({"link", -1.2345678, 0.007}), -12345678);
}

TEST(ClockStatementTest, ALocalRecorderHasNoOffsetAndAnUnmeasuredClockCorrectsNothing) {
    EXPECT_EQ(ClockStatement({"kernel", 3.0, 0.25}),
              "recorder clock offset +0.000 s \u00b1 0.250 s, the recorder's clock is this "
              "machine's");
    EXPECT_EQ(ClockOffsetTicks({"kernel", 3.0, 0.25}), 0);
    EXPECT_EQ(ClockStatement({"none", 3.0, 0.25}), "recorder clock offset not measured");
    EXPECT_EQ(ClockOffsetTicks({"none", 3.0, 0.25}), 0);
}

TEST(ClockStatementTest, AnOffsetPastAnyClockIsStatedWholeAndNeverWrapsTheStart) {
    // A server answering the largest time it can, or a report edited to say 1e200 s.
    EXPECT_GT(ClockOffsetTicks({"link", 9.2e12, 0.001}), 8'000'000'000'000'000'000LL);
    EXPECT_LT(ClockOffsetTicks({"link", -1e200, 0.001}), -8'000'000'000'000'000'000LL);
    const std::string said = ClockStatement({"link", 1e200, 1e200});
    EXPECT_EQ(said.substr(0, 23), "recorder clock offset +");
    EXPECT_EQ(said.substr(said.size() - 24), ", measured over the link");
}
#endif
