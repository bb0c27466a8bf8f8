// Where a pass may write: never through a link into the recordings or into its working folder,
// only onto a file system with room for what it plans, and only as long as the target keeps what
// it wrote: a target taken away, emptied behind its back, swapped, turned read-only or pulled
// fails the pass, and the entry stays scheduled.
#include "backup/pass/WriteGuard.h"

#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "BackupFixture.h"
#include "backup/pass/BackupStart.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class WriteGuardTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        OwnPassEnds();
        worker.StartMakeFileThread();
        RecordDay(600, 605);
        image = Day("2010_05_23=10,00~10,05");
    }
    // The pass into target, disturbed once as it reaches minute 10:01's data file; its
    // failures.
    std::vector<std::string> Pass(const std::function<void()>& disturb,
                                  const std::string& target = "E:\\Backup") {
        bool done = false;
        view.onStatus = [&](const std::string& text) {
            if (!done && text.find("201005231001N.dat") != std::string::npos) {
                done = true;
                disturb();
            }
        };
        Target(target);
        EXPECT_EQ(Start(), "");
        EXPECT_TRUE(ServeUntil([&] { return view.ended.load(); }));
        EXPECT_TRUE(done) << "the pass ended before it could be disturbed";
        EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);  // the entry stays
        return ctx.m_run.report.failures();
    }
    // The start's checks alone: a pass begun by a faulty check would write where it may not.
    backup::CommandResult Check() {
        return CheckBackupStart({ctx.m_run, ctx.m_disc}, ctx.m_host, ctx.m_schedule, ctx.m_target,
                                ctx.m_prompts, false);
    }
    static void ExpectOne(const std::vector<std::string>& failures, const std::string& why) {
        ASSERT_EQ(failures.size(), 1u) << ::testing::PrintToString(failures);
        EXPECT_HAS(failures[0], why);
    }
    void ExpectLost(const std::vector<std::string>& failures) {
        const std::string lost =
            "201005231000N.dat was written into the image but is gone from the target";
        EXPECT_TRUE(std::any_of(failures.begin(), failures.end(), [&](const std::string& f) {
            return f.find(lost) != f.npos;
        })) << ::testing::PrintToString(failures);
        // Listed as written: the image cannot pass for whole.
        const std::string manifest = ReadText(out + "/Backup/SHA256SUMS");
        EXPECT_HAS(manifest, "/201005231000N.dat\n");
        EXPECT_EQ(manifest.rfind("# PARTIAL IMAGE", 0), 0u) << manifest;
    }
    std::string image;
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

// Removed under a pass of whole minutes and of minutes rebuilt through the index: one failure.
TEST_F(WriteGuardTest, ATargetRemovedUnderThePassFailsItOnce) {
    Add("10", "00", "10", "05");
    ExpectOne(Pass([&] { fs::remove_all(out + "/Backup"); }), "is gone");
}

TEST_F(WriteGuardTest, ATargetRemovedUnderARebuildingPassFailsItOnce) {
    Add("10", "00", "10", "05", {0, 2});
    ExpectOne(Pass([&] { fs::remove_all(out + "/Backup"); }), "is gone");
}

// Files deleted behind the pass's back, or the folder taken away and made anew (a medium
// swapped): what it wrote is gone, and the image says so.
TEST_F(WriteGuardTest, WhatThePassWroteAndLostIsNamedAndListed) {
    Add("10", "00", "10", "05");
    ExpectLost(Pass([&] {
        fs::remove(image + "201005231000N.dat");
        fs::remove(image + "201005231000N.idx");
    }));
}

TEST_F(WriteGuardTest, ATargetSwappedUnderThePassLosesWhatItWrote) {
    Add("10", "00", "10", "05");
    ExpectLost(Pass([&] {
        fs::remove_all(out + "/Backup");
        fs::create_directories(image);
    }));
}

TEST_F(WriteGuardTest, AStickTurnedReadOnlyUnderThePassStopsItOnce) {
    const std::string stick = MountTinyDrive('F', "size=64m");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    Add("10", "00", "10", "05");
    ExpectOne(Pass(
                  [&] {
                      ASSERT_EQ(
                          ::mount("tmpfs", stick.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr),
                          0);
                  },
                  "F:\\Backup"),
              "read-only");
}

// A stick pulled though the disk beneath happens to hold the image's folders: no write fails
// there, so only the volume tells that the stick is gone.
TEST_F(WriteGuardTest, AStickPulledUnderThePassStopsItOnce) {
    const std::string stick = MountTinyDrive('F', "size=64m");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    Add("10", "00", "10", "05");
    const std::string day = stick + "/Backup/2010_05_23=10,00~10,05/20100523";
    ExpectOne(Pass(
                  [&] {
                      ASSERT_EQ(::umount2(stick.c_str(), MNT_DETACH), 0);
                      fs::create_directories(day + "/Audio");
                  },
                  "F:\\Backup"),
              "is gone");
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(stick))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 0u);
}
