// The worker's passes in-process and what surrounds them: the end's words and what the schedule
// keeps; Cancel and its questions (only a yes stops, a late answer acts on what it asked about or
// on nothing once that went away); a source or working file that changes or breaks under a
// pass; the walk across hours; a pass held without a window; the end of the manifest (a file the
// hashing cannot vouch for, or the target lost, keeps its entry; the link's last file is awaited);
// and what a pass writes besides the minutes: the entry's information, the viewer, copies and
// progress.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>

#include "FakeDiscWriter.h"
#include "PassTest.h"
#include "backup/pass/BackupPackage.h"
#include "backup/pass/CopyEngine.h"
#include "backup/pass/ImageManifest.h"
#include "backup/pass/PassPlanning.h"
#include "backup/pass/PassRun.h"
#include "backup/schedule/ReservedFolder.h"
#include "backup/schedule/ScheduleAfterPass.h"
#include "companions/CppSQLite3.h"
#include "integrity/ImageHasher.h"
#include "integrity/Manifest.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/WriteTap.h"
#include "share/Wait.h"

using BackupWorkerTest = PassTest;

// What the window says once a pass has ended: completed only when it was.
TEST_F(BackupWorkerTest, ACompletePassLeavesTheWordsToTheWindowAndAnyOtherSaysWhy) {
    EXPECT_EQ(Outcome(), "");
    ctx.m_run.report.Stopped();
    EXPECT_EQ(Outcome(), "The backup was stopped before it was complete.");
    ctx.m_run.report.Reset();
    for (int i = 0; i < 10; ++i)
        ctx.m_run.report.Fail("entry " + std::to_string(i));
    const std::string text = Outcome();
    EXPECT_THAT(text, StartsWith("The backup is not complete. Not copied:\nentry 0\nentry 1\n"));
    EXPECT_HAS(text, "entry 7\n(2 more)");
    EXPECT_LACKS(text, "entry 8");
}

TEST_F(BackupWorkerTest, ACancelledPassStillLeavesTheInformationAndMinuteMapFiles) {
    RecordDay(600, 609, 0);
    Add("10", "00", "10", "09", {0, 2});
    Add("10", "05", "10", "09", {1});  // never reached
    CancelAt("201005231002");
    Run();
    const std::string day = Day("2010_05_23=10,00~10,09");
    EXPECT_TRUE(fs::exists(day + "201005231002N.dat"));  // the current minute is finished
    EXPECT_FALSE(fs::exists(day + "201005231003N.dat"));
    EXPECT_EQ(fs::file_size(day + "BackupInfo.dat"), 2332u);
    EXPECT_EQ(fs::file_size(day + "20100523.DAT"), 92164u);
    // The end of a folder backup, code 100; the entry the pass did not finish stays in the
    // schedule, the list and the total, with its working files, also for the next start.
    EXPECT_EQ(view.passesEnded, 1);
    EXPECT_EQ(ctx.m_schedule.rows, (std::vector<std::string>{"2010-05-23 - 10:00 ~ 10:09",
                                                             "2010-05-23 - 10:05 ~ 10:09"}));
    EXPECT_GT(ctx.m_schedule.totalKB, 0u);
    EXPECT_FALSE(view.totalSize.empty());
    const std::string kept = driveC() + "/Prog/Reserved/2010_05_23=10,00~10,09/";
    EXPECT_EQ(fs::file_size(kept + "BackupInfo.dat"), 2332u);
    EXPECT_EQ(fs::file_size(kept + "20100523/20100523.DAT"), 92164u);
    BackupContext next(app, view);
    next.m_host.basePath = ctx.m_host.basePath;
    ASSERT_TRUE(LoadScheduleTable(next.m_host, next.m_schedule, next.m_prompts));
    EXPECT_EQ(next.m_schedule.table[0].bUsed, 1u);
    EXPECT_EQ(next.m_schedule.table[0].bCam[2], 1u);
    const std::string end = Outcome();
    EXPECT_THAT(end, StartsWith(Text("Q010007")));
    EXPECT_HAS(end, "\n\n" + Text("Q010013"));
    EXPECT_HAS(end, "2010-05-23 - 10:00 ~ 10:09: the backup was stopped");
    EXPECT_HAS(end, "2010-05-23 - 10:05 ~ 10:09: " + std::string(kEntryNotReached));
    EXPECT_EQ(view.activity, backup::Activity::kIdle);
    EXPECT_NE(view.meter, backup::Meter::kProgress);
    EXPECT_TRUE(ctx.m_run.report.ok());
    // Its manifest says at once that the image is not whole, and vouches for what it holds.
    const std::string manifest = Manifest();
    EXPECT_THAT(manifest,
                StartsWith("# PARTIAL IMAGE: the backup was stopped before it was complete."));
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
    EXPECT_HAS(manifest, "/20100523/201005231002N.dat\n");
    EXPECT_LACKS(manifest, "201005231003N");
    EXPECT_HAS(manifest, "/20100523/BackupInfo.dat\n");
}

TEST_F(BackupWorkerTest, AMinuteRemovedDuringThePassIsReportedAndNothingHalfWrittenStays) {
    RecordDay(600, 603, 0);
    Add("10", "00", "10", "03");  // all cameras: whole-minute copies
    At("201005231001", [&] {
        fs::remove(driveC() + "/QorData/20100523/201005231002N.dat");
        fs::remove(driveC() + "/QorData/20100523/201005231002N.idx");
    });
    Run();
    EXPECT_FALSE(ctx.m_run.report.ok());
    EXPECT_THAT(ctx.m_run.report.failures(), ElementsAre(HasSubstr("minute 10:02 not copied")));
    const std::string day = Day("2010_05_23=10,00~10,03");
    EXPECT_FALSE(fs::exists(day + "201005231002N.dat"));
    EXPECT_TRUE(fs::exists(day + "201005231003N.dat"));
    const std::string manifest = Manifest();
    EXPECT_THAT(manifest, StartsWith("# PARTIAL IMAGE: not everything was copied."));
    EXPECT_HAS(manifest, "\n# not copied: 2010_05_23=10,00~10,03: minute 10:02");
    EXPECT_LACKS(manifest, "201005231002N");
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
}

// The operator takes the stick away once told the backup is done, and ejects it first: the
// pass, finished or cancelled, holds nothing open on it while the window stays open.
TEST_F(BackupWorkerTest, APassOverHoldsNothingOpenOnItsTarget) {
    RecordDay(600, 603, 0);
    Add("10", "00", "10", "01");
    Run();
    ASSERT_TRUE(ctx.m_run.report.ok());
    EXPECT_EQ(OpenHandlesBelow(out), std::vector<std::string>{});

    Add("10", "02", "10", "03");
    CancelAt("201005231002");
    Run();
    ASSERT_TRUE(ctx.m_run.report.stopped());
    EXPECT_EQ(OpenHandlesBelow(out), std::vector<std::string>{});

    const std::string stick = MountTinyDrive('F', "size=12m");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    view.onStatus = nullptr;
    Run("F:\\Backup");
    ASSERT_TRUE(ctx.m_run.report.ok());
    EXPECT_EQ(::umount2(stick.c_str(), 0), 0) << std::strerror(errno);
}

TEST_F(BackupWorkerTest, TheWalkCrossesHoursAndAudioFollowsTheChannelLimits) {
    RecordDay(10 * 60 + 56, 11 * 60 + 4, 41, 41);
    ctx.m_host.camCount = 48;
    Add("10", "58", "11", "02", {0, 40});  // selected cameras: audio of channels 0-31 only
    Run();
    ASSERT_TRUE(ctx.m_run.report.ok());
    const std::string day = Day("2010_05_23=10,58~11,02");
    std::vector<std::string> minutes;
    for (const auto& e : fs::directory_iterator(day))
        if (e.path().extension() == ".idx")
            minutes.push_back(e.path().filename().string().substr(8, 4));
    std::sort(minutes.begin(), minutes.end());
    EXPECT_EQ(minutes, (std::vector<std::string>{"1058", "1059", "1100", "1101", "1102"}));
    std::set<std::string> audio;
    for (const auto& e : fs::directory_iterator(day + "Audio"))
        audio.insert(e.path().extension().string());
    EXPECT_EQ(audio, std::set<std::string>{".au0"});
    EXPECT_EQ(std::distance(fs::directory_iterator(day + "Audio"), fs::directory_iterator()), 5);

    // An all-camera entry copies the audio of every channel of its cameras.
    Add("11", "03", "11", "03");
    ASSERT_EQ(ctx.m_schedule.table[0].bAllCam, 1u);
    Run();
    EXPECT_TRUE(fs::exists(Day("2010_05_23=11,03~11,03") + "Audio/201005231103.au40"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Day("2010_05_23=11,03~11,03") + "Audio"),
                            fs::directory_iterator()),
              41);
}

namespace {

// Moves every picture of a camera of a recorded minute outside its data file, as a damaged
// recorder leaves it.
void DamageCamera(const std::string& index, int camera) {
    CppSQLite3DB db;
    db.open(index);
    db.execDML("UPDATE indextable SET imgposition = imgposition + 100000000 WHERE camnum = " +
               std::to_string(camera));
}

}  // namespace

TEST_F(BackupWorkerTest, OnlyTheEntriesThePassMadeWholeLeaveTheSchedule) {
    RecordDay(600, 605, 0);
    Add("10", "00", "10", "01", {0});
    Add("10", "03", "10", "05");
    fs::remove(driveC() + "/QorData/20100523/201005231004N.dat");  // half a minute
    Run();
    EXPECT_EQ(ctx.m_schedule.rows, std::vector<std::string>{"2010-05-23 - 10:03 ~ 10:05"});
    EXPECT_FALSE(fs::exists(driveC() + "/Prog/Reserved/2010_05_23=10,00~10,01"));
    EXPECT_TRUE(fs::exists(driveC() + "/Prog/Reserved/2010_05_23=10,03~10,05/BackupInfo.dat"));
    int used = 0;
    for (const auto& e : ctx.m_schedule.table)
        used += e.bUsed ? 1 : 0;
    EXPECT_EQ(used, 1);
    // A minute is its index and its data file together: neither half reaches the image.
    const std::string day = Day("2010_05_23=10,03~10,05");
    EXPECT_FALSE(fs::exists(day + "201005231004N.idx"));
    EXPECT_TRUE(fs::exists(day + "201005231005N.idx"));
    const std::string text = Outcome();
    // Half a minute is the recording's: named by the entry's label, and no next backup
    // makes it whole.
    EXPECT_EQ(text, app.GetLanguageText("BACKUP", "Q010006") +
                        "\n2010-05-23 - 10:03 ~ 10:05: minute 10:04 not copied: its data file is "
                        "missing\n\n" +
                        DamagedEntryNote("2010-05-23 - 10:03 ~ 10:05"));
    const std::string manifest = Manifest();
    EXPECT_HAS(manifest,
               "\n# incomplete entry: 2010_05_23=10,03~10,05: minute 10:04 not "
               "copied: its data file is missing\n");
    EXPECT_LACKS(manifest, "incomplete entry: 2010_05_23=10,00~10,01");
    EXPECT_EQ(Sha256sumCheck(out + "/Backup"), 0);
}

TEST_F(BackupWorkerTest, ADamagedMinuteIsReportedAlikeInEveryEntryAndKeepsBothInTheSchedule) {
    RecordDay(600, 602, 0);
    Add("10", "00", "10", "02");          // all cameras: whole minutes
    Add("10", "01", "10", "02", {1, 2});  // selected cameras: rebuilt minutes
    DamageCamera(driveC() + "/QorData/20100523/201005231001N.idx", 2);
    Run();
    const std::string damaged = "camera 3, 10:01: the recording is damaged";
    // Both entries name the camera; which rows a rebuilt minute leaves out is the minute copy's.
    for (const char* entry : {"2010_05_23=10,00~10,02", "2010_05_23=10,01~10,02"})
        EXPECT_HAS(Failures(), "\n" + std::string(entry) + ": " + damaged);
    for (int slot : {0, 1}) {
        const EntryOutcome outcome = ctx.m_run.report.Entry(slot);
        EXPECT_FALSE(outcome.complete);
        EXPECT_TRUE(outcome.recordingDamaged);
        EXPECT_EQ(outcome.why, damaged);
    }
    EXPECT_EQ(ctx.m_schedule.rows.size(), 2u);
    // The sound minutes of the all-camera entry are still the recorder's own files.
    EXPECT_TRUE(ReadText(Day("2010_05_23=10,00~10,02") + "201005231002N.idx") ==
                ReadText(driveC() + "/QorData/20100523/201005231002N.idx"));
}

// A pass held by a front end without a window: its outcome is a value of its own, handed over
// once, and it says it was stopped only when the stop came while it ran.
TEST_F(BackupWorkerTest, APassRunsOutcomeIsItsOwnHandedOverOnceAndStoppedOnlyWhileItRan) {
    RecordDay(600, 602, 0);
    Add("10", "00", "10", "02");
    Target();
    auto run = ctx.NewPass();
    ASSERT_TRUE(run->Start(StartOptions(), nullptr).done());
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    run->Stop();  // it has ended: nothing is stopped
    const backup::PassOutcome whole = run->Finish();
    EXPECT_FALSE(whole.stopped);
    EXPECT_TRUE(whole.report.ok());
    EXPECT_TRUE(whole.report.Entry(0).complete);
    EXPECT_GT(whole.report.filesCopied, 0u);
    EXPECT_GT(whole.doneSize, 0u);
    EXPECT_THROW(run->Finish(), std::logic_error);

    // The next pass, stopped at its first file, changes nothing of what the first handed over.
    Add("10", "00", "10", "02");
    Target();
    platform::AutoResetEvent go;
    std::atomic<bool> hold{true}, held{false};
    view.onStatus = [&](const std::string&) {
        if (hold.exchange(false)) {
            held = true;
            go.WaitFor(kHangGuardMs);
        }
    };
    auto next = ctx.NewPass();
    ASSERT_TRUE(next->Start(StartOptions(), nullptr).done());
    ASSERT_TRUE(ServeUntil([&] { return held.load(); }));
    next->Stop();
    go.Set();
    ASSERT_TRUE(ServeUntil([&] { return view.ended.load(); }));
    const backup::PassOutcome stopped = next->Finish();
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.report.stopped());
    EXPECT_FALSE(stopped.report.Entry(0).complete);
    EXPECT_TRUE(whole.report.ok());
    EXPECT_TRUE(whole.report.Entry(0).complete);
}

// A minute map or information file of the base folder that cannot be read is named; the entry's
// recorded minutes are still copied, and no empty record is written over the damaged file.
TEST_F(BackupWorkerTest, ADamagedMinuteMapOrInformationFileIsNamedAndItsEntryCopied) {
    RecordDay(600, 606);
    Add("10", "00", "10", "06");
    Add("10", "00", "10", "02");
    const std::string working = driveC() + "/Prog/Reserved/";
    fs::resize_file(working + "2010_05_23=10,00~10,06/20100523/20100523.DAT", 100);
    const std::string info = working + "2010_05_23=10,00~10,02/BackupInfo.dat";
    fs::resize_file(info, 100);
    const std::string damaged = ReadText(info);
    Run();
    ASSERT_EQ(ctx.m_run.report.failures().size(), 2u) << Failures();
    EXPECT_HAS(Failures(), "the minute map ");
    EXPECT_HAS(Failures(), "100 bytes");
    EXPECT_HAS(Failures(), "information file");
    // Every minute and audio file of the day equals the recorder's: two of each a minute.
    const auto wholeCopies = [&](const std::string& day) {
        int n = 0;
        for (const std::string sub : {"", "Audio/"})
            for (const auto& e : fs::directory_iterator(day + sub)) {
                const std::string name = e.path().filename().string();
                if (!e.is_regular_file() || name == "BackupInfo.dat" || name == "20100523.DAT")
                    continue;
                EXPECT_TRUE(ReadText(e.path().string()) ==
                            ReadText(driveC() + "/QorData/20100523/" + sub + name))
                    << name;
                ++n;
            }
        return n;
    };
    EXPECT_EQ(wholeCopies(Day("2010_05_23=10,00~10,06")), 7 * 4);
    EXPECT_EQ(wholeCopies(Day("2010_05_23=10,00~10,02")), 3 * 4);
    EXPECT_TRUE(ReadText(info) == damaged);
}

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
    // The manifest written at the end, read back, without the exhibit report it lists first.
    integrity::Manifest Written() {
        integrity::Manifest m;
        EXPECT_EQ(integrity::ParseManifest(ReadText(root + "/SHA256SUMS"), m), "");
        EXPECT_EQ(std::erase_if(m.lines, [](const auto& l) { return l.path == "report.json"; }),
                  1u);
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

// A file the target lost after it was written is named, still listed (the image cannot pass for
// whole), and its entry is not whole.
TEST_F(ImageManifestEndTest, AFileGoneFromTheTargetIsNamedAndStaysListed) {
    ASSERT_NO_FATAL_FAILURE(CommitWhole("gone.dat", "abc"));
    job->report().EntryDone(slot, true);
    fs::remove(day + "/gone.dat");

    FinishImageManifest(*job);
    EXPECT_THAT(job->report().failures(),
                ElementsAre(HasSubstr("gone.dat was written into the image but is gone from the "
                                      "target")));
    EXPECT_FALSE(job->report().EntryComplete(slot));
    const integrity::Manifest m = Written();
    EXPECT_TRUE(m.partial);
    ASSERT_EQ(m.lines.size(), 1u);
    EXPECT_EQ(m.lines[0].path, entry + "/20100523/gone.dat");
}

// The window closed while the link's thread still writes a file: the end waits for that file and
// lists it, and hashes nothing the thread writes after it.
TEST_F(ImageManifestEndTest, TheEndWaitsForTheFileTheLinkWritesAndHashesNothingAfterIt) {
    const std::shared_ptr<platform::GatedWriteTap> gate = job->linkTap;
    ASSERT_TRUE(gate);
    std::atomic<bool> open{false};
    std::thread link([&] {
        platform::ScopedWriteTap tap(gate.get());
        platform::AtomicFile late, after;
        ASSERT_TRUE(late.Create(day + "/late.dat") && late.Write("late", 4));
        open = true;
        ASSERT_TRUE(WaitUntil([&] { return gate->Closing(); }));
        ASSERT_TRUE(late.Commit());
        ASSERT_TRUE(after.Create(day + "/after.dat") && after.Write("x", 1) && after.Commit());
    });
    ASSERT_TRUE(WaitUntil([&] { return open.load(); }));
    job->report().EntryDone(slot, true);
    FinishImageManifest(*job);
    link.join();
    const integrity::Manifest m = Written();
    ASSERT_EQ(m.lines.size(), 1u);
    EXPECT_EQ(m.lines[0].path, entry + "/20100523/late.dat");
    EXPECT_TRUE(fs::exists(day + "/after.dat"));
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
    EXPECT_THAT(job->report().failures(), ElementsAre(HasSubstr("the target")));
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

using BackupPackageTest = BackupFixture;

TEST_F(BackupPackageTest, EntryInformationIsWrittenReadAndUpdatedInItsThreeModes) {
    fs::create_directories(driveC() + "/E");
    ctx.m_host.camCount = 16;
    ctx.m_host.recorderKind = 4;
    ctx.m_host.modelCode = 0x1648D;
    std::memset(ctx.m_host.cameraNames[5], 'n', 30);  // a name of 30 characters fills its slot
    std::strcpy(ctx.m_schedule.entryInfo.memo, "typed before Add");
    ASSERT_TRUE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "2010052314001530",
                                kEntryInfoWrite));
    const std::string bytes = ReadText(driveC() + "/E/BackupInfo.dat");
    ASSERT_EQ(bytes.size(), 2332u);
    const DWORD head[10] = {2010, 5, 23, 14, 0, 15, 30, 16, 4, 0x1648D};
    EXPECT_EQ(std::memcmp(bytes.data(), head, sizeof head), 0);
    EXPECT_EQ(bytes.substr(40 + 5 * 31, 31), std::string(30, 'n') + '\0');
    EXPECT_EQ(std::string(bytes.data() + 2024), "typed before Add");
    EXPECT_EQ(bytes[2279], 0);

    std::memset(&ctx.m_schedule.entryInfo, 0x55, sizeof ctx.m_schedule.entryInfo);
    ASSERT_TRUE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoRead));
    EXPECT_EQ(ctx.m_schedule.entryInfo.endMinute, 30u);
    EXPECT_STREQ(ctx.m_schedule.entryInfo.memo, "typed before Add");

    std::strcpy(ctx.m_schedule.entryInfo.memo, "changed");
    ASSERT_TRUE(
        AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoUpdate));
    EXPECT_EQ(ctx.m_schedule.entryInfo.year, 0u);  // cleared after the write
    BackupInfoRecord updated{};
    ASSERT_EQ(ReadText(driveC() + "/E/BackupInfo.dat").size(), sizeof updated);
    std::memcpy(&updated, ReadText(driveC() + "/E/BackupInfo.dat").data(), sizeof updated);
    EXPECT_STREQ(updated.memo, "changed");
    EXPECT_EQ(updated.year, 2010u);

    // A short file reads as a missing one.
    WriteText(driveC() + "/E/BackupInfo.dat", "short");
    EXPECT_FALSE(
        AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\E", "", kEntryInfoRead));
    EXPECT_EQ(ctx.m_schedule.entryInfo.year, 0u);
    EXPECT_FALSE(AccessEntryInfo(ctx.m_host, ctx.m_schedule.entryInfo, "C:\\Missing",
                                 "2010052314001530", kEntryInfoWrite));
}

TEST_F(BackupPackageTest, ViewerFilesFollowTheListIntoTheTargetsViewerFolder) {
    const std::string base = driveC() + "/Prog";
    WriteText(base + "/GUIS/Viewer.lst",
              "[Count]\ncount=3\n[Files]\nfile1=Viewer.exe\nfile3=Missing.dll\n"
              "[Dest]\ndest1=\\\ndest3=\\\n");
    WriteText(base + "/Other/Viewer.exe", "viewer program");
    ctx.m_host.basePath = "C:\\Prog\\";
    ctx.m_host.language = "kor";

    ctx.m_target.kind = backup::TargetKind::kDisc;
    fs::create_directories(driveC() + "/QuillonTemp");
    CopyViewerFiles(BeginPass());
    EXPECT_EQ(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.exe"), "viewer program");
    EXPECT_EQ(std::distance(fs::directory_iterator(driveC() + "/QuillonTemp/BackupViewer"),
                            fs::directory_iterator()),
              1);
    ASSERT_TRUE(WriteViewerIni(BeginPass()));
    EXPECT_HAS(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.ini"), "Language=kor");

    // A folder target: the viewer goes to the root of the target's drive.
    const std::string e = out;
    ctx.m_target.kind = backup::TargetKind::kFolder;
    ctx.m_target.text = "E:\\Backup\\Day1";
    CopyViewerFiles(BeginPass());
    EXPECT_EQ(ReadText(e + "/BackupViewer/Viewer.exe"), "viewer program");
    EXPECT_FALSE(fs::exists(e + "/Backup"));

    // A start with the viewer asked for is refused while a file of the list is missing.
    const auto viewerLacks = [&] {
        const platform::Outcome listed = CheckViewerFiles(ctx.m_host);
        EXPECT_TRUE(listed || listed.error().kind == platform::Error::Kind::kNotFound);
        return listed ? std::string() : listed.error().Said();
    };
    EXPECT_HAS(viewerLacks(), "Missing.dll is missing");
    WriteText(base + "/Other/Missing.dll", "library");
    EXPECT_EQ(viewerLacks(), "");

    // No list: no empty viewer folder that would pass for a viewer, and the report says so.
    fs::remove(base + "/GUIS/Viewer.lst");
    fs::remove_all(e + "/BackupViewer");
    ctx.m_run.report.Reset();
    CopyViewerFiles(BeginPass());
    EXPECT_FALSE(fs::exists(e + "/BackupViewer"));
    EXPECT_THAT(ctx.m_run.report.failures(), ElementsAre(HasSubstr("Viewer.lst is missing")));
    EXPECT_HAS(viewerLacks(), "Viewer.lst is missing");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(BackupPackageTest, ViewerSettingsFailWhenTheImageFolderCannotBeMade) {
    WriteText(driveC() + "/QuillonTemp", "a file in the way");
    EXPECT_FALSE(WriteViewerIni(BeginPass()));
    ResetViewerOption(ctx.m_view, ctx.m_run);
    EXPECT_TRUE(view.viewerOffered);
    EXPECT_FALSE(view.viewerChosen);
}

TEST_F(BackupPackageTest, CopiesAreExactWhateverTheSizeAndTheVolumeBetween) {
    ctx.m_run.running = 1;
    fs::create_directories(driveC() + "/to");
    // Another volume takes the other means of copying (where a small one can be mounted).
    std::vector<std::string> targets = {"C:\\to\\copy.bin"};
    if (!MountTinyDrive('T', "size=8m").empty())
        targets.push_back("T:\\copy.bin");
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    for (const auto& target : targets) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{8191},
                                 std::size_t{8192}, kMiB - 1, kMiB + 1, 3 * kMiB + 17}) {
            std::string data(size, '\0');
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<char>(i * 131 % 251);
            WriteText(driveC() + "/from.bin", data);
            ASSERT_TRUE(CopyFileOverlapped(BeginPass(), "C:\\from.bin", target)) << size << target;
            EXPECT_TRUE(ReadText(platform::ResolvePath(target)) == data) << size << target;
        }
    }
    EXPECT_FALSE(CopyFileOverlapped(BeginPass(), "C:\\none.bin", "C:\\to\\x.bin"));
    EXPECT_FALSE(CopyFileOverlapped(BeginPass(), "C:\\from.bin", "C:\\nofolder\\x.bin"));
    EXPECT_THAT(ctx.m_run.report.failures(),
                ElementsAre(StartsWith("The source file could not be opened."),
                            StartsWith("The destination file could not be created.")));
}

TEST_F(BackupPackageTest, AWildcardCopyCountsEveryMatchAndShowsItsName) {
    WriteText(driveC() + "/rec/201005231405N.idx", std::string(2047, 'i'));
    WriteText(driveC() + "/rec/201005231405N.dat", std::string(3 * 1024, 'd'));
    WriteText(driveC() + "/rec/201005231406N.dat", "other minute");
    ctx.m_run.running = 1;
    ctx.m_schedule.totalKB = 8;
    ASSERT_TRUE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "C:\\img\\"));
    EXPECT_EQ(ctx.m_run.job->doneSize, 1u + 3u);
    EXPECT_EQ(view.statusText, "[201005231405N.idx] copying");
    EXPECT_EQ(view.progress, (std::vector<int>{37, 50}));
    EXPECT_TRUE(fs::exists(driveC() + "/img/201005231405N.dat"));
    EXPECT_FALSE(fs::exists(driveC() + "/img/201005231406N.dat"));
    EXPECT_FALSE(CopyFilesToFolder(BeginPass(), "C:\\rec\\nothing*", "C:\\img\\"));

    // A folder whose parent is a file: the copy fails and is reported, the loop ends.
    WriteText(driveC() + "/blocker", "x");
    EXPECT_TRUE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "C:\\blocker\\sub\\"));
    EXPECT_EQ(ctx.m_run.report.failures().size(), 1u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(BackupPackageTest, AFolderThatCannotBeMadeIsTheOneFailureTheOperatorIsShown) {
    WriteText(driveC() + "/rec/201005231405N.idx", "i");
    if (MountTinyDrive('R', "size=64k", true).empty())
        GTEST_SKIP() << "no read-only filesystem can be mounted here";
    ctx.m_run.running = 1;
    EXPECT_FALSE(CopyFilesToFolder(BeginPass(), "C:\\rec\\201005231405N.*", "R:\\img\\"));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "The destination folder could not be created.");
    EXPECT_EQ(view.messages[0].caption, "Backup error");
    EXPECT_EQ(view.messages[0].severity, backup::Severity::kError);
}

TEST_F(BackupPackageTest, ProgressPositionsAreTruncatedAndAZeroTotalIsZero) {
    for (const DWORD total : {5000u, 0u}) {
        ctx.m_schedule.totalKB = total;
        backup::PassJob& job = BeginPass();
        job.doneSize = total ? 2499 : 6000;
        backup::UpdatePassProgress(job);
        if (total) {
            job.doneSize = 6000;
            backup::UpdatePassProgress(job);
        }
    }
    EXPECT_EQ(view.progress, (std::vector<int>{49, 120, 0}));
}

class CancelQuestionTest : public PassTest {
  protected:
    CancelOutcome Cancel() {
        return OnCancel(ctx.m_disc, ctx.m_run, ctx.m_host, ctx.m_link, ctx.m_prompts);
    }
};

TEST_F(CancelQuestionTest, OnlyAYesStopsThePassOrTheDiscAndIdleItCloses) {
    ctx.m_run.running = 1;
    view.answerYes = false;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(view.messages.back().text, Text("M010038") + "\n" + Text("M010026"));
    EXPECT_EQ(ctx.m_run.running, 1);
    ctx.m_run.running = 0;

    FakeDiscWriter writer;
    ctx.m_disc.writer = &writer;
    ctx.m_disc.writing = 1;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(view.messages.back().text, Disc("A010022") + "\n" + Disc("A010023"));
    EXPECT_TRUE(writer.calls.empty());
    view.answerYes = true;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    EXPECT_EQ(writer.calls, std::vector<std::string>{"abort"});
    EXPECT_EQ(view.statusText, Disc("A010024"));
    ctx.m_disc.writing = 0;
    ctx.m_disc.writer = nullptr;
    EXPECT_EQ(Cancel(), CancelOutcome::kClose);
}

// A stop ends a remote pass's fetch at once, not with its entry; a local pass has none to end.
TEST_F(CancelQuestionTest, AStopCancelsTheFetchOfARemotePassOnly) {
    service = std::make_unique<ShareService>(ShareService::Settings{});
    client = std::make_unique<LoopbackShareClient>(*service);
    ctx.m_link.client = client.get();
    for (const bool remote : {true, false}) {
        ctx.m_host.localMode = remote ? 0 : 1;
        ctx.m_run.running = 1;
        const backup::PassJob& job = BeginPass();
        StopRunningBackup(ctx.m_run, ctx.m_host, ctx.m_link);
        EXPECT_EQ(ctx.m_run.running, 0);
        EXPECT_EQ(job.fetchCancel->cancelled(), remote);
    }
}

class LateAnswerTest : public CancelQuestionTest {
  protected:
    void SetUp() override {
        CancelQuestionTest::SetUp();
        view.holdReplies = true;
        RecordDay(600, 605);
        ctx.m_chooser.SelectBackupDay("20100523");
    }
    std::string Entry(const char* name) { return driveC() + "/Prog/Reserved/" + name; }
};

TEST_F(LateAnswerTest, ADeleteWaitsForItsYesAndDeletesTheEntryItAskedAboutThen) {
    ASSERT_EQ(AddRange("10", "00", "10", "01", {0}), "");
    ASSERT_EQ(AddRange("10", "02", "10", "03", {1}), "");
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");

    const backup::CommandResult asked = ctx.m_editor.OnDelete();
    EXPECT_TRUE(asked.asked());
    EXPECT_FALSE(asked.done() || asked.refused());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].text, Text("M010019"));
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,00~10,01")));  // nothing yet

    // The operator picks the other row meanwhile; the yes still deletes the one asked about.
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(1), "");
    view.replies[0](true);
    EXPECT_FALSE(fs::exists(Entry("2010_05_23=10,00~10,01")));
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,02~10,03")));
    ASSERT_EQ(ctx.m_schedule.rows.size(), 1u);

    // A second reply to the same question does nothing.
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
    view.replies[0](true);
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
}

TEST_F(LateAnswerTest, AYesThatComesOnceAPassBeganIsRefusedAsTheCommandWouldBe) {
    ASSERT_EQ(AddRange("10", "00", "10", "01", {0}), "");
    ASSERT_EQ(ctx.m_editor.OnSelchangeSchedule(0), "");
    ASSERT_TRUE(ctx.m_editor.OnDelete().asked());
    ctx.m_burner.OnErase();
    ASSERT_EQ(view.asked.size(), 2u);

    ctx.m_run.running = 1;
    view.replies[0](true);
    view.replies[1](true);
    EXPECT_EQ(ctx.m_schedule.rows.size(), 1u);
    EXPECT_TRUE(fs::exists(Entry("2010_05_23=10,00~10,01")));
    ASSERT_EQ(view.messages.size(), 2u);  // the busy notice, once for each
    EXPECT_EQ(view.messages[0].text, view.messages[1].text);
    EXPECT_EQ(view.activity, backup::Activity::kIdle);  // no erase began
}

TEST_F(LateAnswerTest, AWithdrawnStopQuestionsYesStopsNothingAndANewOneIsAskedAfresh) {
    ctx.m_host.localMode = 1;
    ctx.m_run.running = 1;
    EXPECT_EQ(Cancel(), CancelOutcome::kStaysOpen);
    ASSERT_EQ(view.asked.size(), 1u);

    // Its pass ended first (the pass end withdraws it), the next one runs at the late yes.
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kDiscWrite);  // about something else
    EXPECT_TRUE(view.withdrawn.empty());
    ctx.m_prompts.Withdraw(backup::QuestionAbout::kPass);
    ASSERT_EQ(view.withdrawn, std::vector<int>{view.asked[0].id});
    view.replies[0](true);
    EXPECT_EQ(ctx.m_run.running, 1u);

    // Asked again and answered while its pass runs, the yes stops it.
    Cancel();
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_NE(view.asked[1].id, view.asked[0].id);
    view.replies[1](true);
    EXPECT_EQ(ctx.m_run.running, 0u);
}
