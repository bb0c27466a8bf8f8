// Working files damaged in the base folder: a pass names a minute map or information file it
// cannot read, still copies every recorded minute of the entry, and writes no empty record over
// the damaged information file.
#include <filesystem>

#include "BackupFixture.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class DamagedWorkingFilesTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        OwnPassEnds();
        worker.StartMakeFileThread();
    }
    // Every minute and audio file of an image day equals the recorder's file of that name; how
    // many there are.
    int WholeCopies(const std::string& day) {
        int n = 0;
        for (const std::string sub : {"", "Audio/"})
            for (const auto& e : fs::directory_iterator(day + sub)) {
                const std::string name = e.path().filename().string();
                if (!e.is_regular_file() || name == "BackupInfo.dat" || name == "20100523.DAT")
                    continue;
                EXPECT_TRUE(ReadText(e.path().string()) ==
                            ReadText(driveC() + "/QorData/20100523/" + sub + name))
                    << name;
                ++n;
            }
        return n;
    }
};

TEST_F(DamagedWorkingFilesTest, ADamagedMinuteMapOrInformationFileIsNamedAndItsEntryCopied) {
    RecordDay(600, 606);
    Add("10", "00", "10", "06");
    Add("10", "00", "10", "02");
    const std::string working = driveC() + "/Prog/Reserved/";
    fs::resize_file(working + "2010_05_23=10,00~10,06/20100523/20100523.DAT", 100);
    const std::string info = working + "2010_05_23=10,00~10,02/BackupInfo.dat";
    fs::resize_file(info, 100);
    const std::string damaged = ReadText(info);

    Target();
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    const auto failures = ctx.m_run.report.failures();
    ASSERT_EQ(failures.size(), 2u) << ::testing::PrintToString(failures);
    const std::string all = failures[0] + "\n" + failures[1];
    EXPECT_HAS(all, "the minute map ");
    EXPECT_HAS(all, "100 bytes");
    EXPECT_HAS(all, "information file");
    // Seven minutes and three of two minute files and two audio files each.
    EXPECT_EQ(WholeCopies(Day("2010_05_23=10,00~10,06")), 7 * 4);
    EXPECT_EQ(WholeCopies(Day("2010_05_23=10,00~10,02")), 3 * 4);
    EXPECT_TRUE(ReadText(info) == damaged);
}
