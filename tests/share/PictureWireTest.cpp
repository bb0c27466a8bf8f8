// The reply parsers against what a broken or hostile server could send: a reply that is not
// ours is refused as a whole, never half taken, and ours read back as they were written.
#include <gtest/gtest.h>

#include "share/PictureWire.h"

using namespace share;

namespace {

bool SamePictures(const playback::MinutePictures& a, const playback::MinutePictures& b) {
    if (a.problem != b.problem || a.pictures.size() != b.pictures.size())
        return false;
    for (std::size_t i = 0; i < a.pictures.size(); ++i)
        if (a.pictures[i].rectime != b.pictures[i].rectime ||
            a.pictures[i].pos != b.pictures[i].pos || a.pictures[i].size != b.pictures[i].size)
            return false;
    return true;
}

}  // namespace

TEST(PictureWireTest, RepliesReadBackAsWritten) {
    std::string problem;
    const std::vector<std::string> days{"20100523", "20100522", "19991231"};
    std::vector<std::string> gotDays;
    ASSERT_TRUE(ParseDays(FormatDays(days), gotDays, problem)) << problem;
    EXPECT_EQ(gotDays, days);

    const std::vector<int> minutes{0, 600, 601, 1439};
    std::vector<int> gotMinutes;
    ASSERT_TRUE(ParseMinutes(FormatMinutes(minutes), gotMinutes, problem)) << problem;
    EXPECT_EQ(gotMinutes, minutes);

    playback::MinutePictures pictures, got;
    pictures.pictures = {
        {1274522400, 0, 1}, {1274522400, 1, kMaxPictureSize}, {999999999999, 123456789012, 0}};
    ASSERT_TRUE(ParsePictures(FormatPictures(pictures), got, problem)) << problem;
    EXPECT_TRUE(SamePictures(got, pictures));

    // An empty minute and an empty recorder are answers too.
    ASSERT_TRUE(ParsePictures("", got, problem));
    EXPECT_TRUE(got.pictures.empty() && got.problem.empty());
    ASSERT_TRUE(ParseDays("", gotDays, problem));
    EXPECT_TRUE(gotDays.empty());
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
                             "99999999999999999999999\n", "600\nabc\n", "0x10\n"}) {
        EXPECT_FALSE(ParseMinutes(body, minutes, problem)) << body;
        EXPECT_TRUE(minutes.empty()) << body;
    }
    playback::MinutePictures pictures;
    for (const char* body :
         {"1 2\n", "1 2 3 4\n", "1 2 -3\n", "1 -2 3\n", "-1 2 3\n", "1 2 16777217\n",
          "99999999999999999999 0 1\n", "1  2 3\n", "a b c\n", "1 2 3", "1 2 3\n4 5\n",
          "problem x\n1 2 3\n", "1 2 3\nproblem x\n", "1\t2\t3\n"}) {
        pictures.pictures = {{1, 2, 3}};
        pictures.problem = "old";
        EXPECT_FALSE(ParsePictures(body, pictures, problem)) << body;
        EXPECT_TRUE(pictures.pictures.empty() && pictures.problem.empty()) << body;
    }
}

TEST(PictureWireTest, NumbersAreStrictAndBounded) {
    long long v = -7;
    EXPECT_TRUE(ParseNumber("0", 0, 0, v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(ParseNumber("1439", 0, 1439, v));
    EXPECT_EQ(v, 1439);
    for (const char* text : {"", "1440", "-0", "+1", " 1", "1 ", "1e3", "0x1", "1\n"})
        EXPECT_FALSE(ParseNumber(text, 0, 1439, v)) << text;
    EXPECT_FALSE(ParseNumber("9223372036854775808", 0, 9223372036854775807LL, v));
}
