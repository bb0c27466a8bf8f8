// The end of a pass's manifest as the report sees it: a file the pass wrote into an entry's
// folder that the hashing cannot vouch for is left out of the manifest, and its entry is then
// not whole, so that the schedule keeps it for another try.
#include <cstring>
#include <filesystem>

#include "BackupFixture.h"
#include "backup/pass/ImageManifest.h"
#include "backup/pass/PassPlanning.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "share/Has.h"

namespace fs = std::filesystem;

class ImageManifestEndTest : public BackupFixture {
  protected:
    // A pass begun with its hashing, and the day folder of its one entry made in the image.
    void SetUp() override {
        BackupFixture::SetUp();
        RecordDay(600, 602, 0);
        Add("10", "00", "10", "02");
        Target();
        job = &BeginPass();
        job->sink().Open();
        BeginImageManifest(*job);
        ASSERT_TRUE(job->hasher);
        ASSERT_TRUE(job->plan().entries[slot].bUsed);  // the first Add takes the first slot
        entry = ImageEntryName(job->plan().entries[slot], job->plan().host.dateType);
        root = job->hasher->rootHost();
        day = root + "/" + entry + "/20100523";
        fs::create_directories(day);
    }
    // A file of the entry's day written and committed whole, the hashing seeing every byte.
    void CommitWhole(const std::string& name, const std::string& bytes) {
        platform::ScopedWriteTap tap(ImageManifestTap(*job));
        platform::AtomicFile f;
        ASSERT_TRUE(f.Create(day + "/" + name));
        ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
        ASSERT_TRUE(f.Commit());
    }
    // A file of the entry's day committed as 1000 bytes of which the hashing was handed 5 (the
    // rest written around it).
    void CommitCutShort(const std::string& name) {
        WriteText(day + "/" + name, "short");
        const int handle = job->hasher->Opened(day + "/" + name);
        ASSERT_GE(handle, 0);
        char* buffer = job->hasher->TakeBuffer();
        std::memcpy(buffer, "short", 5);
        job->hasher->Hand(handle, buffer, 5);
        job->hasher->Closed(handle, true, 1000, {});
    }
    // The manifest written at the end, read back.
    integrity::Manifest Written() {
        integrity::Manifest m;
        EXPECT_EQ(integrity::ParseManifest(ReadText(root + "/SHA256SUMS"), m), "");
        return m;
    }
    backup::PassJob* job = nullptr;
    static constexpr int slot = 0;
    std::string entry, root, day;
};

// A file committed with more bytes than the hashing saw: the manifest leaves the file out, and
// the entry it belongs to is not whole, as it is not for a file found gone at the end.
TEST_F(ImageManifestEndTest, AFileTheHashingDidNotSeeWholeKeepsItsEntry) {
    ASSERT_NO_FATAL_FAILURE(CommitWhole("whole.dat", "whole"));
    ASSERT_NO_FATAL_FAILURE(CommitCutShort("cut.dat"));
    job->report().EntryDone(slot, true);

    FinishImageManifest(*job);
    EXPECT_FALSE(job->report().EntryComplete(slot));
    EXPECT_HAS(job->report().Entry(slot).why, "cut.dat");
    const integrity::Manifest m = Written();
    EXPECT_TRUE(m.partial);
    ASSERT_EQ(m.lines.size(), 1u);
    EXPECT_EQ(m.lines[0].path, entry + "/20100523/whole.dat");
    EXPECT_EQ(m.lines[0].hex, integrity::Sha256Hex("whole", 5));
}

// An entry that lacked only what its recording lacks, and then a file of it the hashing did
// not see whole: it lacks what another pass writes now, and keeps its first problem; so does
// one whose image as a whole is lost.
TEST_F(ImageManifestEndTest, ADamagedEntryThatLosesAFileIsNoLongerOnlyDamaged) {
    ASSERT_NO_FATAL_FAILURE(CommitCutShort("cut.dat"));
    const std::string damage = "minute 10:01 not copied: the recording is damaged";
    job->report().Damaged(entry, damage);
    job->report().EntryDone(slot, false, damage, true);

    FinishImageManifest(*job);
    const EntryOutcome outcome = job->report().Entry(slot);
    EXPECT_FALSE(outcome.complete);
    EXPECT_FALSE(outcome.recordingDamaged);
    EXPECT_EQ(outcome.why, damage);
    EXPECT_FALSE(job->report().OnlyRecordingDamaged());

    BackupReport lost;
    lost.Damaged(entry, damage);
    lost.EntryDone(slot, false, damage, true);
    lost.ImageLost("the target could not be written");
    EXPECT_FALSE(lost.Entry(slot).recordingDamaged);
    EXPECT_EQ(lost.Entry(slot).why, damage);
    EXPECT_FALSE(lost.OnlyRecordingDamaged());
}

// A name committed again after a commit the hashing did not see whole: the later commit
// counts, and the entry stays whole, whichever lane takes either in first.
TEST_F(ImageManifestEndTest, AFileWrittenAgainAfterAnUnseenCommitLeavesItsEntryWhole) {
    ASSERT_NO_FATAL_FAILURE(CommitCutShort("again.dat"));
    ASSERT_NO_FATAL_FAILURE(CommitWhole("again.dat", "again"));
    job->report().EntryDone(slot, true);

    FinishImageManifest(*job);
    EXPECT_TRUE(job->report().EntryComplete(slot)) << job->report().Entry(slot).why;
    const integrity::Manifest m = Written();
    ASSERT_EQ(m.lines.size(), 1u);
    EXPECT_EQ(m.lines[0].hex, integrity::Sha256Hex("again", 5));
}

// The target taken away after the last file: the manifest finds it gone, says so once (not once
// for each file it holds), and the entries stay in the schedule.
TEST_F(ImageManifestEndTest, ATargetTakenAwayAfterTheLastFileIsLostOnceAndKeepsTheEntries) {
    for (const char* name : {"a.dat", "b.dat", "c.dat"})
        ASSERT_NO_FATAL_FAILURE(CommitWhole(name, "abc"));
    job->report().EntryDone(slot, true);
    fs::remove_all(out + "/Backup");

    FinishImageManifest(*job);
    EXPECT_TRUE(job->report().targetLost());
    const std::vector<std::string> failures = job->report().failures();
    ASSERT_EQ(failures.size(), 1u) << ::testing::PrintToString(failures);
    EXPECT_HAS(failures[0], "the target");
    EXPECT_FALSE(job->report().EntryComplete(slot));
}

// The target lost in the middle of the pass (a later entry found it gone) and no manifest could
// be written: the entries made whole before it are on no medium that can be checked, and stay
// in the schedule.
TEST_F(ImageManifestEndTest, EntriesMadeWholeBeforeTheTargetWasLostStayWithoutAManifest) {
    ASSERT_NO_FATAL_FAILURE(CommitWhole("a.dat", "abc"));
    job->report().EntryDone(slot, true);
    fs::remove_all(out + "/Backup");
    ASSERT_TRUE(job->report().TargetLost("the target E:\\Backup\\ is gone; the backup stopped"));

    FinishImageManifest(*job);
    EXPECT_EQ(job->manifestNote, "no manifest was written: the target can take nothing more");
    EXPECT_EQ(job->report().failureCount(), 1u);
    EXPECT_FALSE(job->report().EntryComplete(slot));
}
