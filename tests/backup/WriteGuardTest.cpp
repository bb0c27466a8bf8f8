// Where a pass may write and the checks before it starts: never through a link into the
// recordings or its working folder, only onto a file system with room for what it plans (the
// refusal names the drive and its figures), each check only once those before it passed, a folder
// that is not there made once they all did. The writer choice: one that cannot be selected does
// not take a good one down with it.
#include "backup/pass/WriteGuard.h"

#include <sys/mount.h>

#include "FakeDiscWriter.h"
#include "PassTest.h"
#include "PseudoDrives.h"
#include "platform/DriveTable.h"

class WriteGuardTest : public PassTest {
  protected:
    void SetUp() override {
        PassTest::SetUp();
        RecordDay(600, 605);
    }
};

TEST_F(WriteGuardTest, NoLinkOrTargetLeadsTheImageIntoTheRecordingsOrTheWorkingFolder) {
    const std::string recordings = driveC() + "/QorData";
    Add("10", "01", "10", "02", {1});
    Add("10", "03", "10", "04");
    // An entry's folder, and another entry's day folder, planted as links to the recorder.
    fs::create_directories(out + "/B/2010_05_23=10,03~10,04");
    fs::create_directory_symlink(recordings, out + "/B/2010_05_23=10,01~10,02");
    fs::create_directory_symlink(recordings + "/20100523",
                                 out + "/B/2010_05_23=10,03~10,04/20100523");
    Target("E:\\B");
    ASSERT_EQ(Start(), "");
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    EXPECT_THAT(ctx.m_run.report.failures(), ElementsAre(HasSubstr("leads into the recordings"),
                                                         HasSubstr("leads into the recordings")));
    EXPECT_FALSE(fs::exists(recordings + "/20100523/BackupInfo.dat"));

    // Targets inside the recordings or the working folder are refused before anything is made.
    for (const std::string target : {"C:\\QorData", "C:\\QorData\\x", "C:\\Prog\\Reserved\\out"}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(ctx.m_targets.ChooseStorageTarget(target), "");
        EXPECT_EQ(Check(), "Q010004");
    }
    EXPECT_FALSE(fs::exists(driveC() + "/Prog/Reserved/out"));
    EXPECT_FALSE(fs::exists(recordings + "/x"));
    // A working folder that is a link is not used.
    EXPECT_TRUE(CheckWorkingFolder(ctx.m_host));
    fs::remove_all(driveC() + "/Prog/Reserved");
    fs::create_directory_symlink(recordings, driveC() + "/Prog/Reserved");
    const platform::Outcome own = CheckWorkingFolder(ctx.m_host);
    ASSERT_FALSE(own);
    EXPECT_EQ(own.error().kind, platform::Error::Kind::kRefused);
    EXPECT_HAS(own.error().Said(), "leads into the recordings");
}

// The room is measured on the file system that would hold the files: a small volume as the
// drive, and one mounted in a folder below a large drive's root.
TEST_F(WriteGuardTest, ATargetWithoutRoomForThePlannedSizeIsRefusedAtTheStart) {
    Add("10", "00", "10", "05");
    const std::string tiny = MountTinyDrive('F', "size=300k");
    if (tiny.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    const std::string below = MapDrive('G') + "/small";
    fs::create_directories(below);
    ASSERT_EQ(::mount("tmpfs", below.c_str(), "tmpfs", 0, "size=300k"), 0);
    for (const std::string target : {"F:\\Backup", "G:\\small\\Backup"}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(ctx.m_targets.ChooseStorageTarget(target), "");
        EXPECT_EQ(Check(), "M010028");
        ASSERT_FALSE(view.messages.empty());
        EXPECT_HAS(view.messages.back().text,
                   "There is not enough free space[on the storage target]\n" + target + " - ");
        EXPECT_HAS(view.messages.back().text, " MB are needed, 0.3 MB are free.");
    }
    ::umount2(below.c_str(), MNT_DETACH);
    EXPECT_FALSE(fs::exists(tiny + "/Backup"));  // a refused backup makes nothing
    EXPECT_FALSE(fs::exists(below + "/Backup"));
}

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
    EXPECT_THAT(LastMessage(), StartsWith(Text("M010032") + "\nE:\\taken\\Backup: "));
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
    EXPECT_THAT(ctx.m_target.text, StartsWith("D:\\DVD writer"));
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
    EXPECT_THAT(Refusal("M010028"),
                StartsWith(Text("M010028") + "[" + Text("M010030") + "]\nD: - "));
    writer.freeMB = 700;
    EXPECT_EQ(Refusal("A010003"), Disc("A010003"));
    writer.mediaType = 3;
    EXPECT_EQ(Refusal("A010016"), Disc("A010016") + "\n" + Disc("A010018"));

    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("C:\\QorData"), "");
    EXPECT_THAT(Refusal("Q010004"), StartsWith(Text("Q010004")));
    const std::string tiny = MountTinyDrive('T', "size=64k");
    if (tiny.empty())
        GTEST_SKIP() << "this machine does not let the test mount a small drive";
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("T:\\"), "");
    EXPECT_THAT(Refusal("M010028"), StartsWith(Text("M010028") + "[" + Text("M010030") + "]\nT:"));

    // The image is made on C: first: C: too small comes before the disc's own room.
    ASSERT_FALSE(MountTinyDrive('C', "size=64k").empty());
    ASSERT_EQ(ctx.m_targets.ChooseStorageTarget("D:\\"), "");
    writer.freeMB = 0.01;
    EXPECT_THAT(Refusal("M010028"),
                StartsWith(Text("M010028") + "[" + Text("M010029") + "]\nC:\\QuillonTemp - "));
    ctx.m_disc.writer = nullptr;
}
