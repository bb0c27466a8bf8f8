// quillon-cli writing discs to pseudo-drives: a two-entry schedule on an emulated DVD reads back
// as the same files as a folder backup of the same schedule, and the discs that must refuse
// (one with data, a drive without a disc) leave the schedule for another try. A disc holds the
// schedule of its own pass only: what a failed burn left in the disc image folder never reaches
// the next disc.
#include <algorithm>
#include <filesystem>
#include <map>

#include "CliFixture.h"
#include "PseudoDrives.h"

namespace fs = std::filesystem;

class CliDiscTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xorriso, which reads the discs back, is not installed";
        UseBuiltData();
        RecordSmallDay(605);
        discs = prefix() + "/discs";
        fs::create_directories(discs);
        usb = MapDrive('E', "removable");
    }
    void Schedule() {
        ASSERT_EQ(
            Cli({"add", "20100523", "1000", "1003", "--cams", "all", "--memo", "gate"}).status, 0);
        ASSERT_EQ(Cli({"add", "20100523", "1002", "1005", "--cams", "2,4"}).status, 0);
    }
    int Listed() {
        const RunResult list = Cli({"list"});
        return static_cast<int>(std::count(list.out.begin(), list.out.end(), '~'));
    }
    std::string discs, usb;
};

TEST_F(CliDiscTest, ADiscReadsBackAsTheFolderBackupOfTheSameSchedule) {
    MapPseudoDrive(prefix(), 'D', discs + "/dvd.iso", "dvd+rw");
    Schedule();
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--viewer", "--no-progress"});
    ASSERT_EQ(burnt.status, 0) << burnt.out << burnt.err;
    EXPECT_NE(burnt.err.find("The disc has been written."), std::string::npos) << burnt.err;
    EXPECT_EQ(Listed(), 0);  // a written disc clears the schedule
    EXPECT_FALSE(fs::exists(driveC() + "/QuillonTemp"));
    EXPECT_EQ(VolumeId(discs + "/dvd.iso"), "QORBACKUP");
    ASSERT_TRUE(ExtractIso(discs + "/dvd.iso", prefix() + "/read"));

    Schedule();
    const RunResult folder = Cli({"backup", "--folder", "E:\\Folder", "--viewer", "--no-progress"});
    ASSERT_EQ(folder.status, 0) << folder.err;
    auto fromDisc = EntriesBelow(prefix() + "/read");
    // The viewer goes to the root of the folder's drive, its settings to the disc image's
    // folder whatever the target; on the disc both are in the image.
    auto fromFolder = EntriesBelow(usb + "/Folder");
    for (const auto& [name, bytes] : EntriesBelow(usb + "/BackupViewer"))
        fromFolder["BackupViewer/" + name] = bytes;
    fromFolder["BackupViewer"] = "folder";
    fromFolder["BackupViewer/Viewer.ini"] =
        ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.ini");
    EXPECT_GT(fromDisc.size(), 20u);
    // Each image's manifest checks with sha256sum; the disc's also lists the viewer, which is
    // inside its image and outside the folder's.
    EXPECT_EQ(Sha256sumCheck(prefix() + "/read"), 0);
    EXPECT_EQ(Sha256sumCheck(usb + "/Folder"), 0);
    EXPECT_NE(fromDisc["SHA256SUMS"].find("  BackupViewer/Viewer.ini\n"), std::string::npos);
    EXPECT_EQ(fromFolder["SHA256SUMS"].find("BackupViewer"), std::string::npos);
    fromDisc.erase("SHA256SUMS");
    fromFolder.erase("SHA256SUMS");
    EXPECT_TRUE(fromDisc == fromFolder);
    for (const auto& [name, bytes] : fromFolder)
        EXPECT_TRUE(fromDisc.count(name) && fromDisc.at(name) == bytes) << name;
    for (const auto& [name, bytes] : fromDisc)
        EXPECT_TRUE(fromFolder.count(name)) << name << " only on the disc";

    // The disc checks against its manifest where it is, through its file system; a byte
    // changed on it is found.
    RunResult checked = Cli({"verify", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    EXPECT_NE(checked.out.find("VERIFIED: all "), std::string::npos) << checked.out;
    const std::string minute = "2010_05_23=10,00~10,03/20100523/201005231001N.dat";
    const std::string& picture = fromFolder.at(minute);  // pictures alike at their start
    std::string iso = ReadText(discs + "/dvd.iso");
    const std::size_t at = iso.find(picture);
    ASSERT_NE(at, std::string::npos);
    iso[at + 100] ^= 0x01;
    WriteText(discs + "/dvd.iso", iso);
    checked = Cli({"verify", "--disc", "D", "--no-progress"});
    EXPECT_EQ(checked.status, 1) << checked.out;
    EXPECT_NE(checked.out.find("CHANGED          " + minute + "\n"), std::string::npos)
        << checked.out;
}

TEST_F(CliDiscTest, DiscsThatMustRefuseKeepTheSchedule) {
    MapPseudoDrive(prefix(), 'D', discs + "/dvd.iso", "dvd-r");
    Schedule();
    ASSERT_EQ(Cli({"backup", "--disc", "D", "--no-progress"}).status, 0);
    Schedule();
    const RunResult second = Cli({"backup", "--disc", "D", "--no-progress"});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("The disc already holds data.\nInsert a blank disc."),
              std::string::npos)
        << second.err;
    EXPECT_EQ(Listed(), 2);
    const RunResult erase = Cli({"erase", "--disc", "D:"});
    EXPECT_EQ(erase.status, 1);
    EXPECT_NE(erase.err.find("This disc cannot be erased."), std::string::npos) << erase.err;

    MapPseudoDrive(prefix(), 'D', "", "dvd+rw");
    const RunResult none = Cli({"backup", "--disc", "D", "--no-progress"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("No usable disc writer or disc was found in this drive."),
              std::string::npos)
        << none.err;
    EXPECT_EQ(Cli({"backup", "--disc", "E", "--no-progress"}).status, 1);  // no disc drive
    EXPECT_EQ(Listed(), 2);
}

TEST_F(CliDiscTest, ARewritableDiscWithDataIsErasedAndWrittenAgain) {
    MapPseudoDrive(prefix(), 'D', discs + "/cd.iso", "cd-rw");
    Schedule();
    ASSERT_EQ(Cli({"backup", "--disc", "D", "--no-progress"}).status, 0);
    Schedule();
    const RunResult refused = Cli({"backup", "--disc", "D", "--no-progress"});
    EXPECT_NE(refused.err.find("Erase the disc first or insert a blank disc."), std::string::npos)
        << refused.err;
    const RunResult erase = Cli({"erase", "--disc", "D"});
    EXPECT_EQ(erase.status, 0) << erase.err;
    EXPECT_NE(erase.err.find("The disc has been erased."), std::string::npos);
    EXPECT_EQ(fs::file_size(discs + "/cd.iso"), 0u);
    EXPECT_EQ(Cli({"backup", "--disc", "D", "--no-progress"}).status, 0);
}

// What a burn of an entry that failed left in the disc image folder: not on the next disc.
TEST_F(CliDiscTest, AnEntryDeletedAfterAFailedBurnIsNotOnTheNextDisc) {
    const std::string deleted = "2010_05_23=10,00~10,01";
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1001", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"backup", "--folder", "E:\\Built", "--no-progress"}).status, 0);
    // What a burn of that entry that failed leaves in the image folder: the entry, built.
    fs::create_directories(driveC() + "/QuillonTemp");
    fs::copy(usb + "/Built/" + deleted, driveC() + "/QuillonTemp/" + deleted,
             fs::copy_options::recursive);
    ASSERT_EQ(Cli({"add", "20100523", "1004", "1005", "--cams", "all"}).status, 0);

    const std::string iso = discs + "/dvd.iso";
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    ASSERT_EQ(burnt.status, 0) << burnt.out << burnt.err;
    ASSERT_TRUE(ExtractIso(iso, prefix() + "/read"));
    EXPECT_FALSE(fs::exists(prefix() + "/read/" + deleted));
    EXPECT_TRUE(fs::exists(prefix() + "/read/2010_05_23=10,04~10,05/20100523/201005231005N.dat"));
    const RunResult checked = Cli({"verify", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(checked.status, 0) << checked.out;

    // A disc that carries a folder its manifest does not list fails the check of the disc.
    ASSERT_EQ(Shell("xorriso -indev stdio:'" + iso + "' -outdev stdio:'" + iso + "' -map '" + usb +
                    "/Built/" + deleted + "' /" + deleted + " -commit >/dev/null 2>&1"),
              0);
    const RunResult stale = Cli({"verify", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(stale.status, 1) << stale.out;
    EXPECT_NE(stale.out.find("NOT IN MANIFEST  " + deleted + "/"), std::string::npos) << stale.out;
}
