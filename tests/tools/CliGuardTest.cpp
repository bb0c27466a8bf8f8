// What a backup must survive, tried as a careless or hostile machine would: pipes, logs and
// journals among the recordings, working files that cannot be written or were damaged; and the
// model and cameras of the command line in the image. (Where a pass may write is the pass's own
// test, backup/WriteGuardTest.)
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "CliDay.h"

namespace {

const std::string kAddRefused = "The entry's information file could not be written.";

// Every file below root with its bytes: the recordings as a test holds them against later.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        files[e.path().string()] = e.is_symlink() || e.is_fifo() ? "special"
                                   : e.is_regular_file()
                                       ? TempPrefixTest::ReadText(e.path().string())
                                       : "dir";
    return files;
}

bool Remount(const std::string& host, bool readOnly) {
    return ::mount("tmpfs", host.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                   nullptr) == 0;
}
}  // namespace

class CliGuardTest : public UsbCliFixture {
  protected:
    std::string Reserve() const { return base + "/Reserved/reserve.dat"; }
};

// Pipes where an audio file and an index should be: nothing waits on them. An index in WAL mode
// whose log was checkpointed away gets no files beside it. A minute whose writer changed pages
// in place and died before it committed (its journal holds the committed state, which a reader
// may not restore) fails rather than being copied torn.
TEST_F(CliGuardTest, PipesLogsAndJournalsAmongTheRecordingsAreReadWithoutHarm) {
    RecordSmallDay(605);
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
    const auto before = Snapshot(driveC() + "/QorData");
    ASSERT_EQ(Add("1000", "1003", "2").status, 0);
    ASSERT_EQ(Add("1003", "1005").status, 0);
    const RunResult run = Backup("E:\\B");
    EXPECT_THAT(run, Err(1, "2010_05_23=10,00~10,03: minute 10:02 not copied"));
    EXPECT_THAT(run.err, HasSubstr("2010_05_23=10,03~10,05: minute 10:04 not copied"));
    EXPECT_TRUE(fs::exists(usb + "/B/2010_05_23=10,00~10,03/" + kDay + "/201005231003N.idx"));
    const std::string whole = usb + "/B/2010_05_23=10,03~10,05/" + kDay + "/";
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx"));
    EXPECT_FALSE(fs::exists(whole + "201005231004N.idx-journal"));
    EXPECT_TRUE(fs::exists(whole + "201005231005N.idx"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-wal"));
    EXPECT_FALSE(fs::exists(rec + "201005231003N.idx-shm"));
    EXPECT_TRUE(Snapshot(driveC() + "/QorData") == before);
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
        EXPECT_THAT(full, Err(1, kAddRefused));
        if (pagesLeft == 999) {
            EXPECT_THAT(del, Err(1, "The schedule could not be saved"));
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
    EXPECT_THAT(Add("1000", "1002"),
                AllOf(Err(1, "it is a folder, not a file"), Said(HasSubstr(kAddRefused))));
    EXPECT_EQ(Names(base + "/Reserved"),
              (std::set<std::string>{"reserve.dat", "reserve.dat.damaged"}));
    EXPECT_EQ(TempFilesBelow(base), std::vector<std::string>{});
    // A folder that can be set aside is, and said, not taken for an empty schedule.
    fs::remove_all(Reserve() + ".damaged");
    EXPECT_THAT(Cli({"list"}).err, HasSubstr("it is a folder, not a file"));
    EXPECT_TRUE(fs::is_directory(Reserve() + ".damaged"));
}

// A damaged information file is named, shown as unknown rather than memo-less, and never
// written over with an empty record. (What a pass makes of damaged working files is
// backup/DamagedWorkingFilesTest's.)
TEST_F(CliGuardTest, ADamagedInformationFileIsNamedAndNotWrittenOver) {
    RecordSmallDay(606);
    ASSERT_EQ(Add("1000", "1002", "all", {"--memo", "front door"}).status, 0);
    const std::string info = base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat";
    fs::resize_file(info, 100);
    const std::string damaged = ReadText(info);

    const RunResult list = Cli({"list"});
    EXPECT_THAT(list.out, HasSubstr("1 entries"));
    EXPECT_THAT(list.err, AllOf(HasSubstr("2010-05-23 - 10:00 ~ 10:02: the information file"),
                                HasSubstr("; its memo is not known")));
    EXPECT_THAT(Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", "yard"}),
                Err(1, "The memo could not be saved"));
    EXPECT_TRUE(ReadText(info) == damaged);
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
    EXPECT_THAT(run, Err(1, "2010_05_23=10,05~10,06: minute 10:06 not copied"));
    for (const std::string entry : {"2010_05_23=10,04~10,05", "2010_05_23=10,05~10,06"}) {
        EXPECT_THAT(run.err, HasSubstr(entry + ": minute 10:05 not copied: its index file is "
                                               "missing"));
        EXPECT_FALSE(fs::exists(Image(entry) + Name(5) + "N.dat")) << entry;
    }
    EXPECT_THAT(Cli({"list"}).out, AllOf(Not(HasSubstr("2010-05-23 - 10:00 ~ 10:01")),
                                         HasSubstr("2010-05-23 - 10:04 ~ 10:05"),
                                         HasSubstr("2010-05-23 - 10:05 ~ 10:06")));
    EXPECT_THAT(run.err, AllOf(Not(HasSubstr("add 20100523 1004")),
                               HasSubstr("2010-05-23 - 10:04 ~ 10:05: its recording is damaged")));
    EXPECT_THAT(ReadText(usb + "/Backup/SHA256SUMS"),
                HasSubstr("# incomplete entry: 2010_05_23=10,04~10,05: minute 10:05"));
    EXPECT_THAT(Cli({"verify", "E:\\Backup", "--deep"}), Out(1, "INCOMPLETE: "));
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
    Record(Plan(600, 602, 20));
    ASSERT_THAT(Add("1000", "1001"), Out(0,
                                         "all cameras  cameras 01,02,03,04,05,06,07,08,09,10,11,"
                                         "12,13,14,15,16,17,18,19,20"));
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
