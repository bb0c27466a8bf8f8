// The reply parsers against what a broken or hostile server could send: a reply that is not
// ours is refused whole, never half taken, and ours read back as they were written.
#include <gtest/gtest.h>

#include "share/PictureWire.h"

using namespace share;

// The server test carries real lists; these are the extremes a recorder never made there.
TEST(PictureWireTest, ExtremeValuesReadBackAsWritten) {
    playback::MinutePictures pictures, got;
    pictures.pictures = {{0, 0, 0}, {999999999999, 123456789012, kMaxPictureSize}};
    std::string problem;
    ASSERT_TRUE(ParsePictures(FormatPictures(pictures), got, problem)) << problem;
    ASSERT_EQ(got.pictures.size(), 2u);
    EXPECT_EQ(got.pictures[1].rectime, 999999999999);
    EXPECT_EQ(got.pictures[1].pos, 123456789012);
    EXPECT_EQ(got.pictures[1].size, kMaxPictureSize);
    std::vector<int> minutes;
    ASSERT_TRUE(ParseMinutes(FormatMinutes({0, 1439}), minutes, problem)) << problem;
    EXPECT_EQ(minutes, (std::vector<int>{0, 1439}));
}

TEST(PictureWireTest, AProblemCrossesAsOneLineAndCannotForgePictures) {
    playback::MinutePictures unreadable, got;
    unreadable.problem = "the index of 10:02 cannot be read: file is not a database\n1 0 5";
    std::string problem;
    ASSERT_TRUE(ParsePictures(FormatPictures(unreadable), got, problem)) << problem;
    EXPECT_EQ(got.problem, "the index of 10:02 cannot be read: file is not a database 1 0 5");
    EXPECT_TRUE(got.pictures.empty());
    ASSERT_TRUE(ParsePictures("problem " + std::string(5000, 'x') + "\x1b[2J\n", got, problem));
    EXPECT_EQ(got.problem, std::string(kMaxProblemText, 'x'));
    // A server that says there is a problem without saying which still means one.
    ASSERT_TRUE(ParsePictures("problem \n", got, problem));
    EXPECT_FALSE(got.problem.empty());
}

TEST(PictureWireTest, RefusesRepliesThatAreNotOurs) {
    std::string problem;
    std::vector<std::string> days{"kept?"};
    for (const char* body : {"2010052\n", "201005223\n", "2010052x\n", "20100522", "20100522\r\n",
                             "\n", "20100522\n../../etc\n", "-2010052\n"}) {
        EXPECT_FALSE(ParseDays(body, days, problem)) << body;
        EXPECT_TRUE(days.empty()) << body;
        EXPECT_FALSE(problem.empty());
    }
    std::vector<int> minutes{1};
    for (const char* body : {"1440\n", "-1\n", "600\n600\n", "601\n600\n", " 5\n", "+5\n", "5",
                             "99999999999999999999999\n", "600\nabc\n", "0x10\n", "1e3\n"}) {
        EXPECT_FALSE(ParseMinutes(body, minutes, problem)) << body;
        EXPECT_TRUE(minutes.empty()) << body;
    }
    playback::MinutePictures pictures;
    for (const char* body :
         {"1 2\n", "1 2 3 4\n", "1 2 -3\n", "1 -2 3\n", "-1 2 3\n", "1 2 16777217\n",
          "9223372036854775808 0 1\n", "1  2 3\n", "a b c\n", "1 2 3", "1 2 3\n4 5\n",
          "problem x\n1 2 3\n", "1 2 3\nproblem x\n", "1\t2\t3\n"}) {
        pictures.pictures = {{1, 2, 3}};
        pictures.problem = "old";
        EXPECT_FALSE(ParsePictures(body, pictures, problem)) << body;
        EXPECT_TRUE(pictures.pictures.empty() && pictures.problem.empty()) << body;
    }
}
