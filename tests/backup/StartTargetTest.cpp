// The start checks and the writer choice: each check refuses only once those before it passed, a
// folder target that is not there is made once every check passed (or refused before anything
// starts), the free-space refusal names the drive and its figures, and a writer that cannot be
// selected does not take a good one down with it.
#include "FakeDiscWriter.h"
#include "PassTest.h"
#include "PseudoDrives.h"
#include "platform/DriveTable.h"

class StartTargetTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        RecordDay(600, 602, 0);
        Add("10", "00", "10", "02");
    }
};

TEST_F(StartTargetTest, AFolderTargetThatIsNotThereIsMadeOnceTheChecksPassed) {
    // As the host's message names it: a folder the browser never offered.
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("E:\\Named\\By\\Host"), "");
    EXPECT_EQ(Check(), "");
    EXPECT_FALSE(fs::exists(out + "/Named"));  // the checks change nothing
    ASSERT_EQ(Start(), "");
    EXPECT_TRUE(fs::is_directory(out + "/Named/By/Host"));
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    EXPECT_TRUE(ctx.m_run.report.ok());  // no target gone mid-pass
    EXPECT_TRUE(view.messages.empty()) << LastMessage();
    EXPECT_TRUE(fs::exists(out + "/Named/By/Host/2010_05_23=10,00~10,02/20100523/"
                                 "201005231002N.dat"));
}

TEST_F(StartTargetTest, AFolderThatCannotBeMadeIsRefusedBeforeAnythingStarts) {
    WriteText(out + "/taken", "a file where the folder would go");
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("E:\\taken\\Backup"), "");
    EXPECT_EQ(Start(), "M010032");
    EXPECT_EQ(LastMessage().rfind(Text("M010032") + "\nE:\\taken\\Backup: ", 0), 0u)
        << LastMessage();
    EXPECT_HAS(LastMessage(), "is a file, not a folder");
    EXPECT_FALSE(ctx.m_run.running);
    EXPECT_NE(view.activity, backup::Activity::kPass);  // never made busy
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}

TEST_F(StartTargetTest, TheFreeSpaceRefusalNamesTheDriveAndItsFigures) {
    MapPseudoDrive(prefix(), 'D', prefix() + "/d.iso");
    FakeDiscWriter writer;
    writer.drives = {{"D", "DVD writer"}};
    writer.freeMB = 0.9;
    ctx.m_disc.writer = &writer;
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    // KB planned, MB free, with the MP4 files, and the refusal's figures (none: it starts).
    // Up to 1024 KB the check takes the KB count as MB: the figure says what it asked for. The
    // MP4 files are allowed for as large as the entries: a disc the image fits is too small for
    // the image with them.
    for (const auto& [kb, freeMB, mp4, figures] :
         {std::tuple<DWORD, double, bool, std::string>{12595, 0.9, false,
                                                       "12.3 MB are needed, 0.9 MB are free."},
          {50, 20, false, "50.0 MB are needed, 20.0 MB are free."},
          {12595, 20, false, ""},
          {12595, 20, true, "24.6 MB are needed, 20.0 MB are free."}}) {
        SCOPED_TRACE(kb);
        ctx.m_schedule.totalKB = kb;
        writer.freeMB = freeMB;
        EXPECT_EQ(Check(mp4), figures.empty() ? "" : "M010028");
        if (!figures.empty()) {
            EXPECT_EQ(LastMessage(),
                      "There is not enough free space[on the storage target]\nD: - " + figures);
        }
    }
    // A disc that holds data: a write-once one is for another disc, a rewritable one for Erase.
    writer.discStatus = 1;
    writer.mediaType = 2;
    EXPECT_EQ(Check(), "A010016");
    EXPECT_EQ(LastMessage(), "The disc already holds data.\nInsert a blank disc.");
    writer.mediaType = 3;
    EXPECT_EQ(Check(), "A010016");
    EXPECT_EQ(LastMessage(),
              "The disc already holds data.\nErase the disc first or insert a blank disc.");
    ctx.m_disc.writer = nullptr;
}

TEST_F(StartTargetTest, TheBrowsersWriterIsTheLastThatCanBeSelectedAndANamedOneIsThatOne) {
    for (char letter : {'D', 'F', 'H'})
        MapPseudoDrive(prefix(), letter, prefix() + "/" + letter + ".iso");
    FakeDiscWriter writer;
    writer.drives = {{"D", "DVD writer"}, {"F", "CD writer"}, {"H", "Other writer"}};
    ctx.m_disc.writer = &writer;
    // Named: exactly that drive, whichever comes last.
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\", WriterChoice::kNamedDrive), "");
    EXPECT_EQ(writer.selected, 0);
    EXPECT_EQ(ctx.m_target.text.rfind("D:\\DVD writer", 0), 0u) << ctx.m_target.text;
    // Picked in the browser: the last writer decides...
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    EXPECT_EQ(writer.selected, 2);
    // ...unless it cannot be selected: then the one before it, with no complaint.
    writer.drives[2].selectable = false;
    const std::size_t boxes = view.messages.size();
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    EXPECT_EQ(writer.selected, 1);
    EXPECT_EQ(view.messages.size(), boxes);
    // A named drive that cannot be selected is refused, never swapped for another.
    writer.selected = -1;
    EXPECT_EQ(ctx.m_targets.ChooseStorageTarget("H:\\", WriterChoice::kNamedDrive), "M010022");
    EXPECT_EQ(writer.selected, -1);
    ctx.m_disc.writer = nullptr;
}

TEST_F(StartTargetTest, ADriveWhoseSectionCannotBeUsedIsRefusedWithWhatIsWrong) {
    WriteText(prefix() + "/drives.ini", ReadText(prefix() + "/drives.ini") +
                                            "[G:]\nType=cdrom\nDevice=stdio:" + prefix() +
                                            "/g.iso\nMedia=bluray\n");
    // Saved through the table, which keeps the section, so that this process reads it again.
    ASSERT_TRUE(platform::DriveTable::Load(prefix()).Save(prefix()));
    EXPECT_EQ(ctx.m_targets.ChooseStorageTarget("G:\\"), "M010020");
    EXPECT_EQ(LastMessage(), Text("M010020") + "\n" + prefix() +
                                 "/drives.ini [G:]: Media=bluray is none of cd-r, cd-rw, dvd-r, "
                                 "dvd-rw, dvd+r and dvd+rw; the section is not used");
}

class StartChecksOrderTest : public PassTest {
  protected:
    std::string Refusal(const char* key) {
        EXPECT_EQ(ctx.m_starter.OnOK({}), key);
        EXPECT_EQ(ctx.m_run.running, 0);
        return LastMessage();
    }
    FakeDiscWriter writer;
};

TEST_F(StartChecksOrderTest, EachCheckRefusesOnlyOnceTheOnesBeforeItPassed) {
    RecordDay(600, 602, 0);
    Refusal("M010024");
    Add("10", "00", "10", "01");
    Refusal("M010027");

    MapPseudoDrive(prefix(), 'D', prefix() + "/d.iso");
    ctx.m_disc.writer = &writer;
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    writer.freeMB = 0.01;
    writer.discStatus = 1;
    writer.mediaType = kMediaNoDisc;
    EXPECT_EQ(Refusal("M010028").rfind(Text("M010028") + "[" + Text("M010030") + "]\nD: - ", 0),
              0u);
    writer.freeMB = 700;
    EXPECT_EQ(Refusal("A010003"), Disc("A010003"));
    writer.mediaType = 3;
    EXPECT_EQ(Refusal("A010016"), Disc("A010016") + "\n" + Disc("A010018"));

    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("C:\\QorData"), "");
    EXPECT_EQ(Refusal("Q010004").rfind(Text("Q010004"), 0), 0u);
    const std::string tiny = MountTinyDrive('T', "size=64k");
    if (tiny.empty())
        GTEST_SKIP() << "this machine does not let the test mount a small drive";
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("T:\\"), "");
    EXPECT_EQ(Refusal("M010028").rfind(Text("M010028") + "[" + Text("M010030") + "]\nT:", 0), 0u);

    // The image is made on C: first: C: too small comes before the disc's own room.
    ASSERT_FALSE(MountTinyDrive('C', "size=64k").empty());
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    writer.freeMB = 0.01;
    EXPECT_EQ(Refusal("M010028").rfind(
                  Text("M010028") + "[" + Text("M010029") + "]\nC:\\QuillonTemp - ", 0),
              0u);
    ctx.m_disc.writer = nullptr;
}
