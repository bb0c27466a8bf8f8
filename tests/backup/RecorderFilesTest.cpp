// What a pass makes of a recorder's folder that is not as the recorder left it: pipes, logs and
// journals among the recordings are read without harm, and a minute without its files is
// missing in every entry that has it, which then stays scheduled.
#include <sys/stat.h>

#include "PassTest.h"
#include "companions/CppSQLite3.h"

class RecorderFilesTest : public PassTest {
  protected:
    std::string Rec() const { return driveC() + "/QorData/20100523/"; }
};

// Nothing waits on a pipe in place of an audio file or an index. An index in WAL mode whose log
// was checkpointed away gets no files beside it. A minute whose writer changed pages in place
// and died before it committed (its journal holds the committed state, which a reader may not
// restore) fails rather than being copied torn.
TEST_F(RecorderFilesTest, PipesLogsAndJournalsAmongTheRecordingsAreReadWithoutHarm) {
    RecordDay(600, 605);
    const std::string rec = Rec();
    for (const std::string file : {"Audio/201005231001.au1", "201005231002N.idx"}) {
        fs::remove(rec + file);
        ASSERT_EQ(::mkfifo((rec + file).c_str(), 0644), 0);
    }
    {
        CppSQLite3DB db;
        db.open(rec + "201005231003N.idx");
        db.execDML("PRAGMA journal_mode=WAL");
    }
    WriteText(rec + "201005231004N.idx-journal", std::string(4096, 'j'));
    const auto before = EntriesBelow(driveC() + "/QorData");
    Add("10", "00", "10", "03", {1});
    Add("10", "03", "10", "05");
    Run();
    EXPECT_HAS(Failures(), "\n2010_05_23=10,00~10,03: minute 10:02 not copied");
    EXPECT_HAS(Failures(), "\n2010_05_23=10,03~10,05: minute 10:04 not copied");
    EXPECT_TRUE(fs::exists(Day("2010_05_23=10,00~10,03") + "201005231003N.idx"));
    const std::string whole = Day("2010_05_23=10,03~10,05");
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx"));
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx-journal"));
    EXPECT_TRUE(fs::exists(whole + "201005231005N.idx"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-shm"));
    EXPECT_TRUE(EntriesBelow(driveC() + "/QorData") == before);
}

// The image's manifest says which entries it lacks.
TEST_F(RecorderFilesTest, AMinuteWithoutItsFilesIsMissingInEveryEntryAndItsEntryStays) {
    RecordDay(600, 606);
    const std::string rec = Rec();
    Add("10", "00", "10", "01");
    Add("10", "04", "10", "05");
    Add("10", "05", "10", "06", {1, 2});
    for (const char* file : {"201005231005N.idx", "201005231006N.idx", "201005231006N.dat"})
        fs::remove(rec + file);
    Run();
    EXPECT_HAS(Failures(), "\n2010_05_23=10,05~10,06: minute 10:06 not copied");
    for (const std::string entry : {"2010_05_23=10,04~10,05", "2010_05_23=10,05~10,06"}) {
        EXPECT_HAS(Failures(),
                   "\n" + entry + ": minute 10:05 not copied: its index file is missing");
        EXPECT_FALSE(fs::exists(Day(entry) + "201005231005N.dat")) << entry;
    }
    EXPECT_THAT(ctx.m_schedule.rows,
                ElementsAre(HasSubstr("10:04 ~ 10:05"), HasSubstr("10:05 ~ 10:06")));
    EXPECT_HAS(Manifest(), "# incomplete entry: 2010_05_23=10,04~10,05: minute 10:05");
}
