// quillon-cli as an operator uses it: recordings made by the generator, entries added and backed
// up through the program, then the image checked file by file.
#include <sys/mount.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "CliDay.h"
#include "CliFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kAllEntry = "2010_05_23=10,00~10,06";
const std::string kSelEntry = "2010_05_23=10,02~10,05";

}  // namespace

class CliEndToEndTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        UseBuiltData();
        mkrec::RecorderPlan plan = SmallDayPlan(606);
        plan.cameras = 4;
        plan.audioChannels = 3;
        plan.gapMinutes = {603};
        plan.cameraStops[3] = 605;
        Record(plan);
    }
    RunResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--cameras", "4"});
        return CliFixture::Cli(args);
    }
    void AddBothEntries() {
        auto a = Cli({"add", kDay, "1000", "1006", "--cams", "all", "--memo", "front door"});
        ASSERT_EQ(a.status, 0) << a.err;
        EXPECT_EQ(a.out.substr(0, 26), "2010-05-23 - 10:00 ~ 10:06");
        EXPECT_NE(a.out.find("all cameras"), std::string::npos);
        auto b = Cli({"add", kDay, "1002", "1005", "--cams", "2,4"});
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_NE(b.out.find("selected cameras  cameras 02,04"), std::string::npos);
    }
    std::string Image(const std::string& entry) {
        return usb + "/Backup/" + entry + "/" + kDay + "/";
    }

    std::string usb;
};

TEST_F(CliEndToEndTest, TwoEntriesBackedUpToAFolderGiveTheImageFileByFile) {
    AddBothEntries();
    auto again = Cli({"add", kDay, "1000", "1006", "--cams", "1"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already holds an entry"), std::string::npos);
    auto list = Cli({"list"});
    EXPECT_LT(list.out.find("2010-05-23 - 10:00 ~ 10:06"), list.out.find("2010-05-23 - 10:02"));
    EXPECT_NE(list.out.find("memo: front door"), std::string::npos);
    EXPECT_NE(list.out.find("2 entries"), std::string::npos);

    // What a run killed while it copied the viewer leaves beside it.
    WriteText(usb + "/BackupViewer/.QuillonViewer.py.4242-0.quillon-part", "half");
    auto run = Cli({"backup", "--folder", "E:\\Backup", "--viewer"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("The backup has been completed."), std::string::npos);
    EXPECT_NE(run.err.find("progress 100%"), std::string::npos);

    // The all-camera entry: the recorder's own files of every recorded minute, and its audio.
    const std::string all = Image(kAllEntry);
    std::set<std::string> expected = {"BackupInfo.dat", "20100523.DAT", "Audio"};
    for (int m : {0, 1, 2, 4, 5, 6}) {
        for (const char* ext : {"N.idx", "N.dat"}) {
            expected.insert(Name(m) + ext);
            EXPECT_TRUE(ReadText(all + Name(m) + ext) == ReadText(rec + Name(m) + ext)) << m;
        }
        for (int ch = 0; ch < 3; ++ch) {
            const std::string audio = Name(m) + ".au" + std::to_string(ch);
            EXPECT_TRUE(ReadText(all + "Audio/" + audio) == ReadText(rec + "Audio/" + audio));
        }
    }
    std::set<std::string> found;
    for (const auto& e : fs::directory_iterator(all))
        found.insert(e.path().filename().string());
    EXPECT_EQ(found, expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(all + "Audio"), fs::directory_iterator()), 18);

    const BackupInfoRecord info = ReadInfo(all + "BackupInfo.dat");
    EXPECT_EQ(info.year, 2010u);
    EXPECT_EQ(info.month, 5u);
    EXPECT_EQ(info.day, 23u);
    EXPECT_EQ(info.startHour * 100 + info.startMinute, 1000u);
    EXPECT_EQ(info.endHour * 100 + info.endMinute, 1006u);
    EXPECT_EQ(info.camCount, 4u);
    EXPECT_EQ(info.modelCode, 0x670u);
    EXPECT_STREQ(info.memo, "front door");

    // The selected-camera entry: rebuilt minutes of cameras 2 and 4 only, audio of channel 1.
    const std::string sel = Image(kSelEntry);
    for (int m : {2, 4, 5}) {
        EXPECT_EQ(CamerasOfIndex(sel + Name(m) + "N.idx"),
                  (m == 5 ? std::set<long long>{1} : std::set<long long>{1, 3}))
            << m;
    }
    EXPECT_FALSE(fs::exists(sel + Name(3) + "N.idx"));
    std::set<std::string> audio;
    for (const auto& e : fs::directory_iterator(sel + "Audio"))
        audio.insert(e.path().filename().string());
    EXPECT_EQ(audio, (std::set<std::string>{Name(2) + ".au1", Name(4) + ".au1", Name(5) + ".au1"}));
    const std::string map = ReadText(sel + "20100523.DAT");
    ASSERT_EQ(map.size(), 92164u);
    int marked = 0;
    for (char b : map)
        marked += b;
    EXPECT_EQ(marked, 5);  // 10:02 and 10:04 of both cameras, 10:05 of camera 2
    EXPECT_EQ(map[1 * 1440 + 605], 1);
    EXPECT_EQ(map[3 * 1440 + 605], 0);

    // The viewer at the root of the target's drive, its settings in the disc image folder.
    EXPECT_TRUE(fs::exists(usb + "/BackupViewer/QuillonViewer.py"));
    EXPECT_TRUE(fs::exists(usb + "/BackupViewer/ReadMe.txt"));
    EXPECT_TRUE(ReadText(usb + "/BackupViewer/QuillonViewer.py") ==
                ReadText(base + "/Other/QuillonViewer.py"));
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
    EXPECT_NE(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.ini").find("Language=eng"),
              std::string::npos);

    // A finished folder backup clears the schedule.
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
    EXPECT_NE(Cli({"list"}).out.find("0 entries"), std::string::npos);
}

TEST_F(CliEndToEndTest, RefusalsAndBadCommandLines) {
    EXPECT_EQ(Cli({"backup", "--folder", "E:\\Backup"}).status, 1);  // empty schedule
    EXPECT_EQ(Cli({"add", kDay, "1000"}).status, 2);
    EXPECT_EQ(Cli({"add", kDay, "1000", "1061", "--cams", "1"}).status, 2);
    EXPECT_EQ(Cli({"add", kDay, "1000", "1001", "--cams", "0"}).status, 2);
    EXPECT_EQ(Cli({"frobnicate"}).status, 2);
    auto later = Cli({"add", kDay, "1005", "1001", "--cams", "1"});
    EXPECT_EQ(later.status, 1);
    EXPECT_NE(later.err.find("start time is later"), std::string::npos);
    auto nothing = Cli({"add", kDay, "1003", "1003", "--cams", "1"});  // the gap minute
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.err.find("no recording"), std::string::npos);
    EXPECT_EQ(Cli({"add", "20100524", "1000", "1001", "--cams", "1"}).status, 1);
    EXPECT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:06"}).status, 1);  // not listed
    EXPECT_FALSE(fs::exists(usb + "/Backup"));

    auto days = Cli({"days"});
    EXPECT_EQ(days.out, "20100523\n");
    auto day = Cli({"day", kDay});
    EXPECT_EQ(day.out,
              "20100523 cameras 01,02,03,04\n10 minutes 00-02,04-06 cameras 01,02,03,04\n");
}

TEST_F(CliEndToEndTest, DeleteAndMemoThroughTheCommandLine) {
    AddBothEntries();
    ASSERT_EQ(Cli({"memo", "2010-05-23 - 10:02 ~ 10:05", "yard"}).status, 0);
    EXPECT_NE(Cli({"list"}).out.find("cameras 02,04  memo: yard"), std::string::npos);
    ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:06"}).status, 0);
    EXPECT_FALSE(fs::exists(base + "/Reserved/" + kAllEntry));
    ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:02 ~ 10:05"}).status, 0);
    EXPECT_FALSE(fs::exists(base + "/Reserved"));  // the last entry takes the folder with it
}

TEST_F(CliEndToEndTest, AMinuteThatVanishedIsReportedAndTheBackupFails) {
    AddBothEntries();
    fs::remove(rec + Name(4) + "N.dat");
    fs::remove(rec + Name(4) + "N.idx");
    auto run = Cli({"backup", "--folder", "E:\\Backup"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kAllEntry + ": minute 10:04 not copied"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(kSelEntry + ": minute 10:04 not copied"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("The backup has been completed."), std::string::npos);
    EXPECT_FALSE(fs::exists(Image(kAllEntry) + Name(4) + "N.dat"));
    EXPECT_TRUE(ReadText(Image(kAllEntry) + Name(5) + "N.dat") ==
                ReadText(rec + Name(5) + "N.dat"));
}

// The room is measured on the file system that would hold the files: a small volume as the
// drive, and one mounted in a folder below a large drive's root.
TEST_F(CliEndToEndTest, ATargetWithoutRoomForThePlannedSizeIsRefusedAtTheStart) {
    AddBothEntries();
    const std::string tiny = MountTinyDrive('F', "size=300k");
    if (tiny.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    MapDrive('G');
    fs::create_directories(prefix() + "/drive_g");
    const std::string below = prefix() + "/drive_g/small";
    fs::create_directories(below);
    ASSERT_EQ(::mount("tmpfs", below.c_str(), "tmpfs", 0, "size=300k"), 0);
    for (const std::string target : {"F:\\Backup", "G:\\small\\Backup"}) {
        SCOPED_TRACE(target);
        auto run = Cli({"backup", "--folder", target});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("There is not enough free space[on the storage target]\n" + target +
                               " - "),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(" MB are needed, 0.3 MB are free."), std::string::npos) << run.err;
    }
    ::umount2(below.c_str(), MNT_DETACH);
    EXPECT_FALSE(fs::exists(tiny + "/Backup"));  // a refused backup makes nothing
    EXPECT_FALSE(fs::exists(below + "/Backup"));
    EXPECT_TRUE(fs::exists(base + "/Reserved/reserve.dat"));  // the schedule is kept
}
