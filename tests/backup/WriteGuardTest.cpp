// Where a pass may write: never through a link into the recordings or into its working folder,
// only onto a file system with room for what it plans, and only as long as the target keeps what
// it wrote: a target taken away, emptied behind its back, swapped, turned read-only or pulled
// fails the pass, and the entry stays scheduled.
#include "backup/pass/WriteGuard.h"

#include <sys/mount.h>

#include "PassTest.h"

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
    const auto failures = ctx.m_run.report.failures();
    ASSERT_EQ(failures.size(), 2u) << ::testing::PrintToString(failures);
    for (const auto& f : failures)
        EXPECT_HAS(f, "leads into the recordings");
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
    EXPECT_EQ(WorkingFolderProblem(ctx.m_host), "");
    fs::remove_all(driveC() + "/Prog/Reserved");
    fs::create_directory_symlink(recordings, driveC() + "/Prog/Reserved");
    EXPECT_HAS(WorkingFolderProblem(ctx.m_host), "leads into the recordings");
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

// What disturbs the target once the pass reaches minute 10:01, given the target drive's host
// folder and the image's day folder there.
struct Disturbance {
    const char* name;
    std::vector<int> cams;  // none: whole minutes; some: minutes rebuilt through the index
    bool onStick;           // the target a small volume of its own
    std::function<void(const std::string& drive, const std::string& day)> disturb;
    const char* why;  // of the pass's one failure; none: what it wrote is lost, and listed
};

void PrintTo(const Disturbance& d, std::ostream* os) {
    *os << d.name;
}

class DisturbedTargetTest : public WriteGuardTest,
                            public ::testing::WithParamInterface<Disturbance> {};

// A target taken away, emptied behind the pass's back, swapped for a new folder (a medium
// swapped), turned read-only or pulled fails the pass, and the entry stays scheduled. A stick
// pulled though the disk beneath happens to hold the image's folders fails no write: only the
// volume tells that it is gone, and nothing lands on that disk.
TEST_P(DisturbedTargetTest, FailsThePassAndKeepsTheEntry) {
    const Disturbance& d = GetParam();
    std::string drive = out;
    if (d.onStick && (drive = MountTinyDrive('F', "size=64m")).empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    const std::string day = drive + "/Backup/2010_05_23=10,00~10,05/20100523/";
    Add("10", "00", "10", "05", d.cams);
    At("201005231001", [&] { d.disturb(drive, day); });
    Run(d.onStick ? "F:\\Backup" : "E:\\Backup");
    EXPECT_TRUE(reached) << "the pass ended before it could be disturbed";
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
    if (*d.why) {
        ASSERT_EQ(ctx.m_run.report.failures().size(), 1u) << Failures();
        EXPECT_HAS(Failures(), d.why);
    } else {
        EXPECT_HAS(Failures(),
                   "201005231000N.dat was written into the image but is gone from the target");
        // Listed as written: the image cannot pass for whole.
        const std::string manifest = Manifest();
        EXPECT_HAS(manifest, "/201005231000N.dat\n");
        EXPECT_EQ(manifest.rfind("# PARTIAL IMAGE", 0), 0u) << manifest;
    }
    if (std::string(d.name) == "StickPulled") {
        std::size_t files = 0;
        for (const auto& e : fs::recursive_directory_iterator(drive))
            files += e.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 0u);
    }
}

const auto kRemoved = [](const std::string& drive, const std::string&) {
    fs::remove_all(drive + "/Backup");
};

INSTANTIATE_TEST_SUITE_P(
    Target, DisturbedTargetTest,
    ::testing::Values(Disturbance{"Removed", {}, false, kRemoved, "is gone"},
                      Disturbance{
                          "RemovedUnderARebuildingPass", {0, 2}, false, kRemoved, "is gone"},
                      Disturbance{"FilesDeleted",
                                  {},
                                  false,
                                  [](const std::string&, const std::string& day) {
                                      fs::remove(day + "201005231000N.dat");
                                      fs::remove(day + "201005231000N.idx");
                                  },
                                  ""},
                      Disturbance{"Swapped",
                                  {},
                                  false,
                                  [](const std::string& drive, const std::string& day) {
                                      fs::remove_all(drive + "/Backup");
                                      fs::create_directories(day);
                                  },
                                  ""},
                      Disturbance{"StickTurnedReadOnly",
                                  {},
                                  true,
                                  [](const std::string& drive, const std::string&) {
                                      ASSERT_EQ(::mount("tmpfs", drive.c_str(), "tmpfs",
                                                        MS_REMOUNT | MS_RDONLY, nullptr),
                                                0);
                                  },
                                  "read-only"},
                      Disturbance{"StickPulled",
                                  {},
                                  true,
                                  [](const std::string& drive, const std::string& day) {
                                      ASSERT_EQ(::umount2(drive.c_str(), MNT_DETACH), 0);
                                      fs::create_directories(day + "Audio");
                                  },
                                  "is gone"}),
    [](const auto& row) { return std::string(row.param.name); });
