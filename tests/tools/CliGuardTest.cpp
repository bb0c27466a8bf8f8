// What a backup may never touch, tried as a careless or hostile machine would: links on the
// target and in the working folder that lead into the recordings, targets inside the recordings
// or the working folder, pipes and write-ahead logs among the recordings, a lock that is a link,
// a stick pulled mid-pass, a minute left half-written, and a schedule that cannot be saved.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "CliDay.h"
#include "CliFixture.h"

namespace fs = std::filesystem;

namespace {

// Every file below root with its bytes: the recordings as a test holds them against later.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string bytes = "dir";
        if (e.is_symlink() || e.is_fifo())
            bytes = "special";
        else if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        files[e.path().string()] = bytes;
    }
    return files;
}

}  // namespace

class CliGuardTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        mkrec::RecorderPlan plan;
        plan.days = {kDay};
        plan.firstMinute = 600;
        plan.lastMinute = 605;
        plan.width = plan.height = 16;
        plan.audioChannels = 2;
        plan.audioBytesPerMinute = 2000;
        Record(plan);
        recordings = driveC() + "/QorData";
    }
    std::string usb, recordings;
};

TEST_F(CliGuardTest, ALinkOnTheTargetNeverLeadsTheImageIntoTheRecordings) {
    const auto before = Snapshot(recordings);
    ASSERT_EQ(Cli({"add", kDay, "1001", "1002", "--cams", "2"}).status, 0);
    ASSERT_EQ(Cli({"add", kDay, "1003", "1004", "--cams", "all"}).status, 0);
    // An entry's folder, and another entry's day folder, planted as links to the recorder.
    fs::create_directories(usb + "/B/2010_05_23=10,03~10,04");
    fs::create_directory_symlink(recordings, usb + "/B/2010_05_23=10,01~10,02");
    fs::create_directory_symlink(rec, usb + "/B/2010_05_23=10,03~10,04/" + kDay);
    const RunResult run = Cli({"backup", "--folder", "E:\\B", "--no-progress"});
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 2u) << run.err;
    for (const auto& f : failures)
        EXPECT_NE(f.find("leads into the recordings"), std::string::npos) << f;
    EXPECT_TRUE(Snapshot(recordings) == before) << "the recordings changed";
}

TEST_F(CliGuardTest, ATargetInTheRecordingsOrTheWorkingFolderIsRefusedBeforeAnythingIsMade) {
    const auto before = Snapshot(recordings);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    for (const std::string& target :
         {std::string("C:\\QorData"), std::string("C:\\QorData\\x"), base + "/Reserved/out"}) {
        SCOPED_TRACE(target);
        const RunResult run = Cli({"backup", "--folder", target, "--no-progress"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("The backup cannot go to this storage target."), std::string::npos)
            << run.err;
        EXPECT_TRUE(fs::exists(base + "/Reserved/reserve.dat"));  // the schedule is kept
    }
    EXPECT_FALSE(fs::exists(base + "/Reserved/out"));
    EXPECT_TRUE(Snapshot(recordings) == before);
}

TEST_F(CliGuardTest, AWorkingFolderThatIsALinkIsNotUsed) {
    const auto before = Snapshot(recordings);
    fs::create_directory_symlink(recordings, base + "/Reserved");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", kDay, "1001", "1002", "--cams", "all"},
          std::vector<std::string>{"list"}}) {
        const RunResult run = Cli(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("The working folder cannot be used."), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_symlink(base + "/Reserved"));
    EXPECT_TRUE(Snapshot(recordings) == before);
}

TEST_F(CliGuardTest, PipesAmongTheRecordingsArePassedOverAndWalIndexesGetNoFilesBesideThem) {
    // A pipe where an audio file and an index should be: nothing waits on it.
    fs::remove(rec + "Audio/201005231001.au1");
    ASSERT_EQ(::mkfifo((rec + "Audio/201005231001.au1").c_str(), 0644), 0);
    fs::remove(rec + "201005231002N.idx");
    ASSERT_EQ(::mkfifo((rec + "201005231002N.idx").c_str(), 0644), 0);
    // An index in WAL mode whose log was checkpointed away.
    {
        CppSQLite3DB db;
        db.open(rec + "201005231003N.idx");
        db.execDML("PRAGMA journal_mode=WAL");
    }
    ASSERT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    const auto before = Snapshot(recordings);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1004", "--cams", "2"}).status, 0);
    const RunResult run = Cli({"backup", "--folder", "E:\\B", "--no-progress"});
    EXPECT_EQ(run.status, 1);  // 10:02 has no index to copy from
    EXPECT_NE(run.err.find("minute 10:02 not copied"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(usb + "/B/2010_05_23=10,00~10,04/" + kDay + "/201005231003N.idx"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-shm"));
    EXPECT_TRUE(Snapshot(recordings) == before);
}

TEST_F(CliGuardTest, AMinuteLeftHalfWrittenByTheRecorderFailsRatherThanCopyingItTorn) {
    // A writer that changed pages of 10:01 in place and died before it committed: its journal
    // holds the committed state, which a reader may not restore.
    const std::string idx = rec + "201005231001N.idx";
    WriteText(idx + "-journal", std::string(4096, 'j'));
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    const RunResult run = Cli({"backup", "--folder", "E:\\B", "--no-progress"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("minute 10:01 not copied"), std::string::npos) << run.err;
    const std::string image = usb + "/B/2010_05_23=10,00~10,02/" + kDay + "/";
    EXPECT_FALSE(fs::exists(image + "201005231001N.idx"));
    EXPECT_FALSE(fs::exists(image + "201005231001N.idx-journal"));
    EXPECT_TRUE(fs::exists(image + "201005231002N.idx"));
}

TEST_F(CliGuardTest, AStickPulledFromUnderThePassStopsItOnceAndNothingLandsOnTheDiskBeneath) {
    const std::string stick = MountTinyDrive('F', "size=1g");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    RecordLargeDay();
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1011", "--cams", "all"}).status, 0);
    RunningProgram p = StartCli({"backup", "--folder", "F:\\", "--no-progress"});
    const std::string day = stick + "/2010_05_23=10,00~10,11/20100523";
    ASSERT_TRUE(WaitWhileRunning(p.pid, [&] { return fs::exists(day + "/201005231001N.dat"); }));
    ASSERT_TRUE(Pause(p.pid));
    ASSERT_EQ(::umount2(stick.c_str(), MNT_DETACH), 0);
    // The disk beneath happens to hold the image's folders too (a second entry would make them):
    // no write fails there, so only the volume tells that the stick is gone.
    fs::create_directories(day + "/Audio");
    Resume(p.pid);
    const RunResult run = FinishProgram(p);
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 1u) << run.err;
    EXPECT_NE(failures[0].find("is gone"), std::string::npos) << failures[0];
    // The mount point on the disk beneath holds at most the folders of the entry, no minute.
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(stick))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 0u);
}

TEST_F(CliGuardTest, ADeleteThatCannotSaveTheScheduleDeletesNothing) {
    const std::string disk = MountTinyDrive('G', "size=4m");
    if (disk.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    base = disk + "/base";
    fs::create_directories(base);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1001", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"add", kDay, "1003", "1004", "--cams", "all"}).status, 0);
    ASSERT_EQ(::mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const RunResult del = Cli({"delete", "2010_05_23=10,03~10,04"});
    ::mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT, nullptr);
    EXPECT_EQ(del.status, 1);
    EXPECT_NE(del.err.find("The schedule could not be saved"), std::string::npos) << del.err;
    EXPECT_TRUE(fs::exists(base + "/Reserved/2010_05_23=10,03~10,04/BackupInfo.dat"));
    EXPECT_NE(Cli({"list"}).out.find("2 entries"), std::string::npos);
}
