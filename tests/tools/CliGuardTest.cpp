// What a backup may never touch and what it must survive, tried as a careless or hostile machine
// would: links and targets that lead into the recordings or the working folder, pipes, logs and
// journals among the recordings, a target taken away, turned read-only or without room, and
// working files that cannot be written or were damaged.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <tuple>

#include "CliDay.h"
#include "CliFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kCompleted = "The backup has been completed.";
const std::string kAddRefused = "The entry's information file could not be written.";

// Every file below root with its bytes: the recordings as a test holds them against later.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string bytes = "dir";
        if (e.is_symlink() || e.is_fifo())
            bytes = "special";
        else if (e.is_regular_file())
            bytes = TempPrefixTest::ReadText(e.path().string());
        files[e.path().string()] = bytes;
    }
    return files;
}

bool Remount(const std::string& host, bool readOnly) {
    return ::mount("tmpfs", host.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                   nullptr) == 0;
}

}  // namespace

class CliGuardTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
        recordings = driveC() + "/QorData";
    }
    // Six minutes of two small cameras with sound from 10:00.
    void RecordSmallMinutes() {
        mkrec::RecorderPlan plan = Plan(600, 605, 4, 16, 16);
        plan.audioChannels = 2;
        plan.audioBytesPerMinute = 2000;
        Record(plan);
    }
    // A backup into folder that is held once path exists, then held again after a little more
    // of the pass as long as disturb answers false, and let run to its end.
    RunResult Disturbed(const std::string& folder, const std::string& path,
                        const std::function<bool()>& disturb) {
        const RunningProgram run = StartCli({"backup", "--folder", folder, "--no-progress"});
        EXPECT_TRUE(WaitWhileRunning(run.pid, [&] { return fs::exists(path); }));
        bool done = false;
        while (!done && Pause(run.pid)) {
            done = disturb();
            Resume(run.pid);
        }
        EXPECT_TRUE(done) << "the pass ended before it could be disturbed";
        return FinishProgram(run);
    }
    // The pass failed once, for why, and did not say it completed.
    static void ExpectOneFailure(const RunResult& r, const std::string& why) {
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        const auto failures = FailureLines(r.err);
        ASSERT_EQ(failures.size(), 1u) << r.err;
        EXPECT_THAT(failures[0], HasSubstr(why));
        EXPECT_THAT(r.out, Not(HasSubstr(kCompleted)));
    }
    std::string Reserve() const { return base + "/Reserved/reserve.dat"; }
    std::string Image(const std::string& entry) {
        return usb + "/Backup/" + entry + "/" + kDay + "/";
    }

    std::string usb, recordings;
};

TEST_F(CliGuardTest, NoLinkOrTargetLeadsTheImageIntoTheRecordingsOrTheWorkingFolder) {
    RecordSmallMinutes();
    const auto before = Snapshot(recordings);
    ASSERT_EQ(Add("1001", "1002", "2").status, 0);
    ASSERT_EQ(Add("1003", "1004").status, 0);
    // An entry's folder, and another entry's day folder, planted as links to the recorder.
    fs::create_directories(usb + "/B/2010_05_23=10,03~10,04");
    fs::create_directory_symlink(recordings, usb + "/B/2010_05_23=10,01~10,02");
    fs::create_directory_symlink(rec, usb + "/B/2010_05_23=10,03~10,04/" + kDay);
    const RunResult run = Backup("E:\\B");
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 2u) << run.err;
    for (const auto& f : failures)
        EXPECT_THAT(f, HasSubstr("leads into the recordings"));

    // Targets inside the recordings or the working folder are refused before anything is made.
    for (const std::string& target :
         {std::string("C:\\QorData"), std::string("C:\\QorData\\x"), base + "/Reserved/out"}) {
        SCOPED_TRACE(target);
        const RunResult refused = Backup(target);
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.err, HasSubstr("The backup cannot go to this storage target."));
        EXPECT_TRUE(fs::exists(Reserve()));  // the schedule is kept
    }
    EXPECT_FALSE(fs::exists(base + "/Reserved/out"));

    // A working folder that is a link is not used.
    fs::remove_all(base + "/Reserved");
    fs::create_directory_symlink(recordings, base + "/Reserved");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"add", kDay, "1001", "1002", "--cams", "all"},
          std::vector<std::string>{"list"}}) {
        const RunResult r = Cli(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr("The working folder cannot be used."));
    }
    EXPECT_TRUE(fs::is_symlink(base + "/Reserved"));
    EXPECT_TRUE(Snapshot(recordings) == before) << "the recordings changed";
}

// Pipes where an audio file and an index should be: nothing waits on them. An index in WAL mode
// whose log was checkpointed away gets no files beside it. A minute whose writer changed pages
// in place and died before it committed (its journal holds the committed state, which a reader
// may not restore) fails rather than being copied torn.
TEST_F(CliGuardTest, PipesLogsAndJournalsAmongTheRecordingsAreReadWithoutHarm) {
    RecordSmallMinutes();
    fs::remove(rec + "Audio/201005231001.au1");
    ASSERT_EQ(::mkfifo((rec + "Audio/201005231001.au1").c_str(), 0644), 0);
    fs::remove(rec + "201005231002N.idx");
    ASSERT_EQ(::mkfifo((rec + "201005231002N.idx").c_str(), 0644), 0);
    {
        CppSQLite3DB db;
        db.open(rec + "201005231003N.idx");
        db.execDML("PRAGMA journal_mode=WAL");
    }
    ASSERT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    WriteText(rec + "201005231004N.idx-journal", std::string(4096, 'j'));
    const auto before = Snapshot(recordings);
    ASSERT_EQ(Add("1000", "1003", "2").status, 0);
    ASSERT_EQ(Add("1003", "1005").status, 0);
    const RunResult run = Backup("E:\\B");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("2010_05_23=10,00~10,03: minute 10:02 not copied"));
    EXPECT_THAT(run.err, HasSubstr("2010_05_23=10,03~10,05: minute 10:04 not copied"));
    EXPECT_TRUE(fs::exists(usb + "/B/2010_05_23=10,00~10,03/" + kDay + "/201005231003N.idx"));
    const std::string whole = usb + "/B/2010_05_23=10,03~10,05/" + kDay + "/";
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx"));
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx-journal"));
    EXPECT_TRUE(fs::exists(whole + "201005231005N.idx"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-shm"));
    EXPECT_TRUE(Snapshot(recordings) == before);
}

// The target folder removed under a pass of whole minutes and of minutes rebuilt through the
// index, files deleted behind its back, or the folder taken away and made anew (a medium
// swapped): the pass fails (once for a target gone), and the entry is kept with the way to
// schedule it elsewhere.
TEST_F(CliGuardTest, ATargetThatLosesWhatThePassWroteFailsThePassOnce) {
    RecordLargeDay();
    const std::string image = Image("2010_05_23=10,00~10,11");
    const auto removed = [&] { return fs::remove_all(usb + "/Backup") > 0; };
    const auto deleted = [&] {
        return fs::remove(image + Name(0) + "N.dat") && fs::remove(image + Name(0) + "N.idx");
    };
    // The swap makes the day folder again but not its audio folder, and a pass stopped in an
    // audio file rightly finds the image taken away and says only that: it waits until the pass
    // is seen writing into the day folder (a temporary name there).
    const auto swapped = [&] {
        const std::set<std::string> names = Names(image);
        if (std::none_of(names.begin(), names.end(), IsTempName))
            return false;
        fs::remove_all(usb + "/Backup");
        return fs::create_directories(image);
    };
    const std::string lost =
        Name(0) + "N.dat was written into the image but is gone from the target";
    for (const auto& [cams, disturb, says] :
         {std::tuple<std::string, std::function<bool()>, std::string>{"all", removed, "is gone"},
          {"1,3", removed, "is gone"},
          {"all", deleted, lost},
          {"all", swapped, lost}}) {
        SCOPED_TRACE(cams + ": " + says);
        fs::remove_all(usb + "/Backup");
        ASSERT_EQ(Add("1000", "1011", cams).status, 0);
        const RunResult r = Disturbed("E:\\Backup", image + Name(1) + "N.dat", disturb);
        if (says == lost) {
            EXPECT_EQ(r.status, 1) << r.out << r.err;
            EXPECT_THAT(r.err, HasSubstr(lost));
            EXPECT_THAT(r.out, Not(HasSubstr(kCompleted)));
        } else {
            ExpectOneFailure(r, says);
        }
        EXPECT_THAT(r.err, HasSubstr("add 20100523 1000 1011 --cams " + cams));
        if (says == lost) {
            // Listed as written: the image cannot pass for whole.
            const std::string manifest = ReadText(usb + "/Backup/SHA256SUMS");
            EXPECT_THAT(manifest, HasSubstr("/" + Name(0) + "N.dat\n"));
            EXPECT_EQ(manifest.rfind("# PARTIAL IMAGE", 0), 0u) << manifest;
            EXPECT_EQ(Cli({"verify", "E:\\Backup"}).status, 1);
        }
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:11"}).status, 0);  // kept
    }
}

TEST_F(CliGuardTest, AStickPulledOrTurnedReadOnlyUnderThePassStopsItOnce) {
    const std::string stick = MountTinyDrive('F', "size=1g");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    // Many small files: a volume turns read-only only between two of them, when none is open
    // for writing.
    mkrec::RecorderPlan plan = Plan(600, 639, 2, 16, 16);
    plan.audioChannels = 12;
    plan.audioBytesPerMinute = 2000;
    Record(plan);
    for (const char* cams : {"all", "1"}) {
        SCOPED_TRACE(cams);
        ASSERT_TRUE(Remount(stick, false));
        fs::remove_all(stick + "/Backup");
        ASSERT_EQ(Add("1000", "1039", cams).status, 0);
        const std::string image = stick + "/Backup/2010_05_23=10,00~10,39/" + kDay + "/";
        ExpectOneFailure(Disturbed("F:\\Backup", image + Name(0) + "N.dat",
                                   [&] { return Remount(stick, true); }),
                         "read-only");
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:39"}).status, 0);  // kept: done here
    }

    // Pulled: the disk beneath happens to hold the image's folders too (a second entry would
    // make them); no write fails there, so only the volume tells that the stick is gone.
    ASSERT_TRUE(Remount(stick, false));
    ASSERT_EQ(Add("1000", "1039").status, 0);
    const std::string day = stick + "/2010_05_23=10,00~10,39/" + kDay;
    ExpectOneFailure(Disturbed("F:\\", day + "/201005231001N.dat",
                               [&] {
                                   return ::umount2(stick.c_str(), MNT_DETACH) == 0 &&
                                          fs::create_directories(day + "/Audio");
                               }),
                     "is gone");
    // The mount point on the disk beneath holds at most the folders of the entry, no minute.
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(stick))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 0u);
}

// The room is measured on the file system that would hold the files: a small volume as the
// drive, and one mounted in a folder below a large drive's root.
TEST_F(CliGuardTest, ATargetWithoutRoomForThePlannedSizeIsRefusedAtTheStart) {
    RecordSmallDay(606);
    ASSERT_EQ(Add("1000", "1006").status, 0);
    const std::string tiny = MountTinyDrive('F', "size=300k");
    if (tiny.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    MapDrive('G');
    const std::string below = prefix() + "/drive_g/small";
    fs::create_directories(below);
    ASSERT_EQ(::mount("tmpfs", below.c_str(), "tmpfs", 0, "size=300k"), 0);
    for (const std::string target : {"F:\\Backup", "G:\\small\\Backup"}) {
        SCOPED_TRACE(target);
        const RunResult run = Backup(target);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err, HasSubstr("There is not enough free space[on the storage target]\n" +
                                       target + " - "));
        EXPECT_THAT(run.err, HasSubstr(" MB are needed, 0.3 MB are free."));
    }
    ::umount2(below.c_str(), MNT_DETACH);
    EXPECT_FALSE(fs::exists(tiny + "/Backup"));  // a refused backup makes nothing
    EXPECT_FALSE(fs::exists(below + "/Backup"));
    EXPECT_TRUE(fs::exists(Reserve()));  // the schedule is kept
}

// A base folder on a volume that is full, turns read-only, or whose schedule is a folder that
// cannot even be set aside: an add or delete that cannot save the schedule changes nothing.
TEST_F(CliGuardTest, AScheduleThatCannotBeSavedLeavesNoHalfEntryAndDeletesNothing) {
    RecordSmallDay(606);
    const std::string volume = MountTinyDrive('G', "size=1m");
    if (volume.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    base = volume + "/base";
    fs::create_directories(base);
    ASSERT_EQ(Add("1000", "1002").status, 0);
    const std::string before = ReadText(Reserve());
    const std::set<std::string> kept{"2010_05_23=10,00~10,02", "reserve.dat"};
    // Room for nothing, for the information file only, and for it and the minute map but not
    // for the new schedule: each write in turn is the one that fails; then a read-only volume.
    for (unsigned long pagesLeft : {0ul, 3ul, 26ul, 999ul}) {
        SCOPED_TRACE("pages left: " + std::to_string(pagesLeft));
        struct statvfs vfs {};
        ASSERT_EQ(::statvfs(volume.c_str(), &vfs), 0);
        if (pagesLeft == 999)
            ASSERT_TRUE(Remount(volume, true));
        else
            WriteText(volume + "/filler",
                      std::string((vfs.f_bavail - pagesLeft) * vfs.f_bsize, 'f'));
        const RunResult full = Add("1004", "1006", "1");
        const RunResult del =
            pagesLeft == 999 ? Cli({"delete", "2010_05_23=10,00~10,02"}) : RunResult{};
        ASSERT_TRUE(Remount(volume, false));
        fs::remove(volume + "/filler");
        EXPECT_EQ(full.status, 1);
        EXPECT_THAT(full.err, HasSubstr(kAddRefused));
        if (pagesLeft == 999) {
            EXPECT_EQ(del.status, 1);
            EXPECT_THAT(del.err, HasSubstr("The schedule could not be saved"));
        }
        EXPECT_TRUE(ReadText(Reserve()) == before);
        EXPECT_EQ(Names(base + "/Reserved"), kept);
        EXPECT_EQ(TempFilesBelow(base), std::vector<std::string>{});
    }
    EXPECT_THAT(Cli({"list"}).out, HasSubstr("1 entries"));

    // reserve.dat a folder that cannot even be set aside (the name for it is a folder that is
    // not empty): the entry's own files are written, then the schedule cannot take its name.
    fs::remove_all(base + "/Reserved");
    fs::create_directories(Reserve());
    fs::create_directories(Reserve() + ".damaged/kept");
    const RunResult blocked = Add("1000", "1002");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_THAT(blocked.err, HasSubstr("it is a folder, not a file"));
    EXPECT_THAT(blocked.err, HasSubstr(kAddRefused));
    EXPECT_EQ(Names(base + "/Reserved"),
              (std::set<std::string>{"reserve.dat", "reserve.dat.damaged"}));
    EXPECT_EQ(TempFilesBelow(base), std::vector<std::string>{});
    // A folder that can be set aside is, and said, not taken for an empty schedule.
    fs::remove_all(Reserve() + ".damaged");
    EXPECT_THAT(Cli({"list"}).err, HasSubstr("it is a folder, not a file"));
    EXPECT_TRUE(fs::is_directory(Reserve() + ".damaged"));
}

// A damaged minute map is named and every recorded minute is still copied; a damaged
// information file is named, shown as unknown rather than memo-less, and never written over
// with an empty record.
TEST_F(CliGuardTest, DamagedWorkingFilesAreNamedAndTheirEntriesStillCopied) {
    RecordSmallDay(606);
    ASSERT_EQ(Add("1000", "1006").status, 0);
    ASSERT_EQ(Add("1000", "1002", "all", {"--memo", "front door"}).status, 0);
    const std::string working = base + "/Reserved/";
    fs::resize_file(working + "2010_05_23=10,00~10,06/" + kDay + "/" + kDay + ".DAT", 100);
    const std::string info = working + "2010_05_23=10,00~10,02/BackupInfo.dat";
    fs::resize_file(info, 100);
    const std::string damaged = ReadText(info);

    const RunResult list = Cli({"list"});
    EXPECT_THAT(list.out, HasSubstr("2 entries"));
    EXPECT_THAT(list.err, HasSubstr("2010-05-23 - 10:00 ~ 10:02: the information file"));
    EXPECT_THAT(list.err, HasSubstr("; its memo is not known"));
    const RunResult memo = Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", "yard"});
    EXPECT_EQ(memo.status, 1);
    EXPECT_THAT(memo.err, HasSubstr("The memo could not be saved"));
    EXPECT_TRUE(ReadText(info) == damaged);

    const RunResult run = Backup();
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 2u) << run.err;
    EXPECT_THAT(run.err, HasSubstr("the minute map "));
    EXPECT_THAT(run.err, HasSubstr("100 bytes"));
    EXPECT_THAT(run.err, HasSubstr("information file"));
    // Seven minutes and three of two minute files and two audio files each.
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(Image("2010_05_23=10,00~10,06"), rec), 7 * 4);
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(Image("2010_05_23=10,00~10,02"), rec), 3 * 4);
}

// A minute with half its files, or none, is missing in every entry that has it; its entry stays
// and is not offered again. The image says which entries it lacks; a deep check cannot call it
// verified.
TEST_F(CliGuardTest, AMinuteWithoutItsFilesIsMissingInEveryEntryAndItsEntryStays) {
    RecordSmallDay(606);
    ASSERT_EQ(Add("1000", "1001").status, 0);
    ASSERT_EQ(Add("1004", "1005").status, 0);
    ASSERT_EQ(Add("1005", "1006", "2,3").status, 0);
    fs::remove(rec + Name(5) + "N.idx");
    fs::remove(rec + Name(6) + "N.idx");
    fs::remove(rec + Name(6) + "N.dat");
    const RunResult run = Backup();
    EXPECT_EQ(run.status, 1) << run.err;
    for (const std::string entry : {"2010_05_23=10,04~10,05", "2010_05_23=10,05~10,06"}) {
        EXPECT_THAT(run.err, HasSubstr(entry + ": minute 10:05 not copied: its index file is "
                                               "missing"));
        EXPECT_FALSE(fs::exists(Image(entry) + Name(5) + "N.dat")) << entry;
    }
    EXPECT_THAT(run.err, HasSubstr("2010_05_23=10,05~10,06: minute 10:06 not copied"));
    const std::string list = Cli({"list"}).out;
    EXPECT_THAT(list, Not(HasSubstr("2010-05-23 - 10:00 ~ 10:01")));
    EXPECT_THAT(list, HasSubstr("2010-05-23 - 10:04 ~ 10:05"));
    EXPECT_THAT(list, HasSubstr("2010-05-23 - 10:05 ~ 10:06"));
    EXPECT_THAT(run.err, Not(HasSubstr("add 20100523 1004")));
    EXPECT_THAT(run.err, HasSubstr("2010-05-23 - 10:04 ~ 10:05: its recording is damaged"));
    EXPECT_THAT(ReadText(usb + "/Backup/SHA256SUMS"),
                HasSubstr("# incomplete entry: 2010_05_23=10,04~10,05: minute 10:05"));
    const RunResult verify = Cli({"verify", "E:\\Backup", "--deep"});
    EXPECT_EQ(verify.status, 1) << verify.out;
    EXPECT_THAT(verify.out, HasSubstr("INCOMPLETE: "));
}

// The model given at add names the audio files of a later backup; without a host, all cameras
// reach those beyond sixteen and the entry carries the dialog's own values.
TEST_F(CliGuardTest, TheModelAndCamerasOfTheCommandLineReachTheImage) {
    mkrec::RecorderPlan plan = SmallDayPlan(602);
    plan.modelCode = 0x1648A;
    Record(plan);
    options = {"--model", "1648A"};
    ASSERT_EQ(Add("1000", "1002").status, 0);
    ASSERT_EQ(Add("1001", "1002", "2").status, 0);
    EXPECT_EQ(Backup().status, 0);
    const std::string all = Image("2010_05_23=10,00~10,02");
    EXPECT_EQ(Names(all + "Audio"),
              (std::set<std::string>{Name(0) + ".aug0", Name(0) + ".aug1", Name(1) + ".aug0",
                                     Name(1) + ".aug1", Name(2) + ".aug0", Name(2) + ".aug1"}));
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(all, rec), 12);
    EXPECT_EQ(ReadInfo(all + "BackupInfo.dat").modelCode, 0x1648Au);
    EXPECT_EQ(Names(Image("2010_05_23=10,01~10,02") + "Audio"),
              (std::set<std::string>{Name(1) + ".aug1", Name(2) + ".aug1"}));

    fs::remove_all(driveC() + "/QorData");
    fs::remove_all(usb + "/Backup");
    options.clear();
    plan = Plan(600, 602, 20);
    Record(plan);
    const RunResult twenty = Add("1000", "1001");
    ASSERT_EQ(twenty.status, 0) << twenty.err;
    EXPECT_THAT(twenty.out, HasSubstr("all cameras  cameras 01,02,03,04,05,06,07,08,09,10,11,12,"
                                      "13,14,15,16,17,18,19,20"));
    ASSERT_EQ(Add("1001", "1002", "17,20").status, 0);
    EXPECT_EQ(Backup().status, 0);
    const std::string whole = Image("2010_05_23=10,00~10,01");
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(whole, rec), 4);
    const BackupInfoRecord info = ReadInfo(whole + "BackupInfo.dat");
    EXPECT_EQ(info.camCount, 64u);
    EXPECT_EQ(info.recorderKind, 4u);
    EXPECT_EQ(info.modelCode, 0x670u);
    for (int m : {1, 2})
        EXPECT_EQ(CamerasOfIndex(Image("2010_05_23=10,01~10,02") + Name(m) + "N.idx"),
                  (std::set<long long>{16, 19}));
}
