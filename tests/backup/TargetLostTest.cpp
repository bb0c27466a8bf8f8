// A target that can take nothing more, found so by a copy into the image: taken away, filled,
// turned read-only, or pulled while the disk beneath holds its folders again. The pass stops, the
// report says why once, and nothing lands under the target's name.
#include <sys/mount.h>

#include <fstream>

#include "PassTest.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/Extraction.h"
#include "platform/DrivePaths.h"

class TargetLostTest : public BackupFixture {
  protected:
    void SetUp() override {
        BackupFixture::SetUp();
        RecordDay(600, 600, 0, 1);
        WriteText(driveC() + "/from.bin", "data");
    }
    // A pass begun onto drive:\Backup with its image open.
    void Begin(char drive) {
        ctx.m_run.report.Reset();
        Target(std::string(1, drive) + ":\\Backup");
        ctx.m_run.running = 1;
        job = &BeginPass();
        job->sink().Open();
    }
    // A file's copy fails, stops the pass and says why; a second copy says nothing more.
    void ExpectLost(const char* why) {
        const std::string root = job->sink().root();
        EXPECT_FALSE(CopyFileOverlapped(*job, "C:\\from.bin", root + "a.bin"));
        EXPECT_FALSE(job->running());
        EXPECT_TRUE(job->report().targetLost());
        EXPECT_FALSE(CopyFileOverlapped(*job, "C:\\from.bin", root + "b.bin"));
        EXPECT_THAT(job->report().failures(), ElementsAre(HasSubstr(why)));
        EXPECT_FALSE(fs::exists(platform::ResolvePath(root + "a.bin")));
    }
    backup::PassJob* job = nullptr;
};

TEST_F(TargetLostTest, ATargetTakenAwayIsFoundByAFilesCopyAndByAMinutesRebuild) {
    Begin('E');
    fs::remove_all(out + "/Backup");
    ExpectLost("is gone");
    Begin('E');
    fs::remove_all(out + "/Backup");
    ScheduleEntry e{};
    e.bCam[0] = 1;
    std::string why;
    EXPECT_EQ(RebuildMinute(*job, e, "C:\\QorData\\20100523\\201005231000",
                            "E:\\Backup\\201005231000", &why),
              0);
    EXPECT_EQ(why, "the target is gone");
    EXPECT_THAT(job->report().failures(), ElementsAre(HasSubstr("is gone")));
}

// A stick filled by another writer, turned read-only, or pulled (its folders made again on the
// disk beneath): nothing of the copy stays, not even under a temporary name.
TEST_F(TargetLostTest, AStickFilledTurnedReadOnlyOrPulledStopsThePassAndNothingLandsBeneath) {
    for (const auto& [drive, why] :
         {std::pair{'F', "is full"}, {'G', "read-only"}, {'H', "is gone"}}) {
        SCOPED_TRACE(why);
        const std::string stick = MountTinyDrive(drive, "size=1m");
        if (stick.empty())
            GTEST_SKIP() << "no small filesystem can be mounted here";
        Begin(drive);
        if (drive == 'F') {
            std::ofstream filler(stick + "/filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), block.size()) && filler.flush()) {
            }
        } else if (drive == 'G') {
            ASSERT_EQ(::mount("tmpfs", stick.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
        } else {
            ASSERT_EQ(::umount2(stick.c_str(), MNT_DETACH), 0);
            fs::create_directories(stick + "/Backup");
        }
        ExpectLost(why);
        EXPECT_EQ(FilesBelow(stick).size(), drive == 'F' ? 1u : 0u);
    }
}
