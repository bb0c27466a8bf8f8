// quillon-cli writing discs to pseudo-drives: a two-entry schedule on an emulated DVD reads back
// as the folder backup of the same schedule, on the writer named; a drive without a disc leaves
// the schedule for another try. (That a disc holds its own pass only is backup/DiscStagingTest's.)
#include <algorithm>
#include <regex>

#include "CliDay.h"
#include "PseudoDrives.h"

class CliDiscTest : public UsbCliFixture {
  protected:
    void SetUp() override {
        UsbCliFixture::SetUp();
        if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xorriso, which reads the discs back, is not installed";
        UseBuiltData();
        RecordSmallDay(605);
    }
    void Schedule() {
        ASSERT_EQ(Add("1000", "1003", "all", {"--memo", "gate"}).status, 0);
        ASSERT_EQ(Add("1002", "1005", "2,4").status, 0);
    }
    int Listed() {
        const RunResult list = Cli({"list"});
        return static_cast<int>(std::count(list.out.begin(), list.out.end(), '~'));
    }
    RunResult Burn(const std::string& drive, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"backup", "--disc", drive, "--no-progress"});
        return Cli(more);
    }
    std::string Disc(char letter) const { return prefix() + "/" + letter + ".iso"; }
};

TEST_F(CliDiscTest, ADiscReadsBackAsTheFolderBackupOfTheSameScheduleAndChecksWhereItIs) {
    MapPseudoDrive(prefix(), 'D', Disc('D'), "dvd+rw");
    MapPseudoDrive(prefix(), 'F', Disc('F'), "cd-r");  // the last writer
    Schedule();
    const RunResult burnt = Burn("D:", {"--viewer"});
    ASSERT_THAT(burnt, Err(0, "The disc has been written."));
    EXPECT_THAT(burnt.out, AllOf(HasSubstr("backup to disc D: 2 entries, "), Not(HasSubstr("F:"))));
    EXPECT_EQ(Listed(), 0);  // a written disc clears the schedule
    // The disc takes no line more: its writing and read-back are in the base folder's log.
    EXPECT_THAT(Cli({"custody", "show", base}),
                AllOf(Out(0, "written to disc  by "), Printed(HasSubstr("read back  by "))));
    EXPECT_FALSE(fs::exists(driveC() + "/QuillonTemp"));
    EXPECT_EQ(VolumeId(Disc('D')), "QORBACKUP");
    EXPECT_NE(VolumeId(Disc('F')), "QORBACKUP");
    ASSERT_TRUE(ExtractIso(Disc('D'), prefix() + "/read"));
    // A written disc takes no report more: it is written again beside it, from the disc's files.
    const std::string again = prefix() + "/disc-report";
    ASSERT_THAT(Cli({"report", "--disc", "D:", "--out", again}), Ok());
    const std::string report = ReadText(again + "/report.json");
    const std::string discSums = ReadText(prefix() + "/read/SHA256SUMS");
    const std::regex digest("\"sha256\": \"([0-9a-f]{64})\"");
    int digests = 0;
    for (std::sregex_iterator m(report.begin(), report.end(), digest), end; m != end;
         ++m, ++digests)
        EXPECT_THAT(discSums, HasSubstr((*m)[1].str() + "  "));
    EXPECT_GT(digests, 20);
    EXPECT_THAT(report, HasSubstr("2010_05_23=10,02~10,05"));
    for (const auto& left : fs::directory_iterator(again))  // the disc's copy went with it
        EXPECT_NE(left.path().filename().string().rfind(".quillon-disc", 0), 0u) << left.path();

    Schedule();
    ASSERT_THAT(Backup("E:\\Folder", {"--viewer"}), Ok());
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
    EXPECT_THAT(fromDisc["SHA256SUMS"], HasSubstr("  BackupViewer/Viewer.ini\n"));
    EXPECT_THAT(fromFolder["SHA256SUMS"], Not(HasSubstr("BackupViewer")));
    // Everything else is the same, but for the reports of two runs.
    for (const char* own : {"SHA256SUMS", "report.json", "REPORT.pdf", "CUSTODY.jsonl"}) {
        fromDisc.erase(own);
        fromFolder.erase(own);
    }
    for (const auto& [name, bytes] : fromFolder)
        EXPECT_TRUE(fromDisc.count(name) && fromDisc.at(name) == bytes) << name;
    for (const auto& [name, bytes] : fromDisc)
        EXPECT_TRUE(fromFolder.count(name)) << name << " only on the disc";
    // The disc checks against its manifest where it is, through its file system; a byte
    // changed on it is found.
    EXPECT_THAT(Cli({"verify", "--disc", "D:", "--no-progress"}), Out(0, "VERIFIED: all "));
    const std::string minute = "2010_05_23=10,00~10,03/20100523/201005231001N.dat";
    const std::string& picture = fromFolder.at(minute);  // pictures alike at their start
    std::string iso = ReadText(Disc('D'));
    const std::size_t at = iso.find(picture);
    ASSERT_NE(at, std::string::npos);
    iso[at + 100] ^= 0x01;
    WriteText(Disc('D'), iso);
    EXPECT_THAT(Cli({"verify", "--disc", "D", "--no-progress"}),
                Out(1, "CHANGED          " + minute + "\n"));
}

// A drive without a disc, or one that is no disc drive, leaves the schedule for another try.
// (Which discs a start refuses is the start's own test, backup/StartTargetTest.)
TEST_F(CliDiscTest, ADriveWithoutADiscKeepsTheSchedule) {
    Schedule();
    MapPseudoDrive(prefix(), 'D', "", "dvd+rw");
    EXPECT_THAT(Burn("D"), Err(1, "No usable disc writer or disc was found in this drive."));
    EXPECT_THAT(Burn("E"), Err(1, "E is not a disc drive of " + prefix() + "/drives.ini"));
    EXPECT_EQ(Listed(), 2);
}
