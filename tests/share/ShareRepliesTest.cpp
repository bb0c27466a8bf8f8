// The reader of what a share server says.
#include "share/ShareReplies.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "Has.h"

using share::JobState;
using share::JobStatus;
using share::ParseJobStatus;
using share::RemoteNameProblem;

TEST(ShareRepliesTest, AFormattedStatusReadsBackWhole) {
    JobStatus st;
    st.state = JobState::kDone;
    st.item = "201005231002N.dat";
    st.doneKB = 4294967295u;
    st.totalKB = 7;
    st.entry = "2010_05_23=10,00~10,09";
    st.files = {{"201005231000N.dat", 0, std::string(64, '0')},
                {"Audio/with space.wav", share::kMaxListedFileBytes, std::string(64, 'e')}};
    std::string why;
    auto back = ParseJobStatus(share::FormatJobStatus(st), &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(std::tie(back->state, back->item, back->doneKB, back->totalKB, back->entry),
              std::tie(st.state, st.item, st.doneKB, st.totalKB, st.entry));
    ASSERT_EQ(back->files.size(), 2u);
    EXPECT_EQ(std::tie(back->files[1].name, back->files[1].size, back->files[1].sha256),
              std::tie(st.files[1].name, st.files[1].size, st.files[1].sha256));
    EXPECT_TRUE(back->lacks.empty());
    // What a finished image lacks, each on a line of its own, a line break in it made a space.
    st.lacks = {"minute 10:02 not copied: the recording is damaged", "camera 2,\n10:04"};
    st.incomplete = "minute 10:02 not copied";
    back = ParseJobStatus(share::FormatJobStatus(st), &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->incomplete, st.incomplete);
    EXPECT_EQ(back->lacks,
              (std::vector<std::string>{"minute 10:02 not copied: the recording is damaged",
                                        "camera 2, 10:04"}));
    // A problem text with a line break in it stays one line.
    st.state = JobState::kFailed;
    st.lacks.clear();
    st.incomplete.clear();
    st.problem = "disk\nfull";
    back = ParseJobStatus(share::FormatJobStatus(st), &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->problem, "disk full");
    // A build's list numbers and the names gone from it.
    st = JobStatus{};
    st.state = JobState::kBuilding;
    st.list = 123456789012345ULL;
    st.from = 42;
    st.files = {{"201005231001N.dat", 7, std::string(64, 'a')}};
    st.gone = {"Audio/201005231000.au0"};
    back = ParseJobStatus(share::FormatJobStatus(st), &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(std::tie(back->list, back->from, back->gone), std::tie(st.list, st.from, st.gone));
    // Without the numbers it is the whole list, as a server that keeps no numbers sends it.
    back = ParseJobStatus("state building\n", &why);
    ASSERT_TRUE(back) << why;
    EXPECT_FALSE(back->list);
}

TEST(ShareRepliesTest, NamesAtTheEdgeOfTheRulesAndWhyEachBadOneIsRefused) {
    for (const std::string& ok :
         std::vector<std::string>{"a", "...", "a..b", "..a", "Audio/x.wav", "a b/c d",
                                  std::string(255, 'n'), "d/" + std::string(255, 'n')})
        EXPECT_EQ(RemoteNameProblem(ok), "") << ok;
    const std::map<std::string, std::vector<std::string>> bad{
        {"empty file name", {""}},
        {"climbs", {".", "..", "./a", "a/.", "Audio/../../x"}},
        {"empty folder", {"a/", "Audio//x"}},
        {"absolute", {"/a", "\\a"}},
        {"backslash", {"a\\b"}},
        {"drive", {"C:", "c:a", "a:b"}},
        {"255", {std::string(256, 'n'), "d/" + std::string(256, 'n')}},
        {"NUL", {std::string("a\0", 2)}},
        {"control character", {"a\nb", "a\x7f"}}};
    for (const auto& [why, names] : bad)
        for (const auto& name : names)
            EXPECT_HAS(RemoteNameProblem(name), why) << name;
}

TEST(ShareRepliesTest, NumbersStatesAndNamesOutOfRangeAreRefused) {
    std::string why;
    EXPECT_FALSE(ParseJobStatus("state building\ndone 4294967296\n", &why));
    EXPECT_HAS(why, "done");
    EXPECT_FALSE(ParseJobStatus("", &why));
    EXPECT_HAS(why, "no state");
    // Only a finished image lacks anything: a build that says so before its end is not believed.
    const std::string lacks = "incomplete minute 10:02\nlacks minute 10:02 not copied\n";
    // A gone name is checked as a listed one is; the list's numbers come together, once each.
    for (const std::string& text :
         {std::string("state building\ntotal -1\n"), std::string("state building\nstate done\n"),
          std::string("state Done\n"), std::string("state done\nentry x\nfile 1099511627777 a\n"),
          std::string("state done\nentry x\nfile 1a a\n"),
          "state building\nitem " + std::string(1024, 'i') + "\n", "state building\n" + lacks,
          "state failed\n" + lacks, std::string("state done\nentry x\nincomplete minute 10:02\n"),
          std::string("state done\nentry x\nlacks minute 10:02\n"),
          "state done\nentry x\nincomplete x\nlacks " + std::string(1024, 'l') + "\n",
          std::string("state building\nlist 1\nfrom 0\ngone ../x\n"),
          std::string("state building\nlist 1\n"),
          std::string("state building\nlist 1\nfrom 0\nlist 2\n"),
          std::string("state building\nlist -1\nfrom 0\n")})
        EXPECT_FALSE(ParseJobStatus(text, &why)) << text;
    EXPECT_TRUE(ParseJobStatus("state building\nitem " + std::string(1023, 'i') + "\n", &why));
    EXPECT_TRUE(ParseJobStatus("state done\nentry x\n" + lacks, &why)) << why;
    EXPECT_EQ(share::ParseJobId("42"), 42u);
    for (const char* id : {"42\n", "-1", "12345678901234567890"})
        EXPECT_FALSE(share::ParseJobId(id)) << id;
    EXPECT_EQ(share::RecordSizeProblem("x", 56, 56), "");
    EXPECT_EQ(share::RecordSizeProblem("x", 55, 56), "x of 55 bytes, expected 56");
}
