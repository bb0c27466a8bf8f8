// quillon-cli under faults of the machine and of its own files: a link where the working folder
// should hold only its own files, a run killed in the middle, a base folder that cannot be
// written, damaged working files, a target that goes away while it is written; and the names an
// operator gives it: entries, memos, models, cameras and drives.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include "CliDay.h"
#include "CliFixture.h"
#include "records/ScheduleEntry.h"

namespace fs = std::filesystem;

namespace {

const std::string kAddRefused = "The entry's information file could not be written.";
const std::string kCompleted = "The backup has been completed.";

bool Remount(const std::string& host, bool readOnly) {
    return ::mount("tmpfs", host.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                   nullptr) == 0;
}

}  // namespace

class CliFaultsTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        usb = MapDrive('E', "removable");
    }
    // Seven minutes from 10:00 of four small cameras with three audio channels, 10:03 missing.
    void RecordSmallDay(mkrec::RecorderPlan plan = {}) {
        if (plan.days.empty())
            plan.days = {kDay};
        plan.firstMinute = 600;
        plan.lastMinute = 606;
        plan.width = 32;
        plan.height = 24;
        if (plan.audioChannels == 0) {
            plan.audioChannels = 3;
            plan.audioBytesPerMinute = 3000;
        }
        if (plan.days.front() == kDay)
            plan.gapMinutes = {603};
        Record(plan);
    }
    std::string Image(const std::string& entry) {
        return usb + "/Backup/" + entry + "/" + kDay + "/";
    }
    std::string Reserve() const { return base + "/Reserved/reserve.dat"; }

    std::string usb;
};

TEST_F(CliFaultsTest, AKilledBackupLeavesNoShortFileAndARerunCompletesTheImage) {
    RecordLargeDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1011", "--cams", "all"}).status, 0);
    const std::string image = Image("2010_05_23=10,00~10,11");
    const RunningProgram run = StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    // Killed while a file is being written under its temporary name, after some took theirs.
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] {
        return fs::exists(image + Name(0) + "N.dat") && !TempFilesBelow(image).empty();
    }));
    ::kill(run.pid, SIGKILL);
    const RunResult killed = FinishProgram(run);
    ASSERT_EQ(killed.status, 128 + SIGKILL) << "the pass ended before it could be killed";

    // Twelve minutes of two minute files and two audio files: what has its name is whole.
    const int whole = ExpectWholeCopiesOfRecorder(image, rec);
    EXPECT_GT(whole, 0);
    EXPECT_LT(whole, 48);
    EXPECT_TRUE(fs::exists(Reserve()));  // killed before its clean-up: the schedule stays

    const RunResult rerun = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    ASSERT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_NE(rerun.out.find(kCompleted), std::string::npos);
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(image, rec), 48);
    EXPECT_EQ(fs::file_size(image + "BackupInfo.dat"), sizeof(BackupInfoRecord));
    EXPECT_EQ(fs::file_size(image + kDay + ".DAT"), kMinuteMapBytes);
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
}

TEST_F(CliFaultsTest, AnInterruptedBackupSaysWhatIsMissingAndLeavesNoPartFile) {
    RecordLargeDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1011", "--cams", "all"}).status, 0);
    const std::string image = Image("2010_05_23=10,00~10,11");
    const RunningProgram run = StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] { return fs::exists(image + Name(0) + "N.dat"); }));
    ::kill(run.pid, SIGINT);  // Ctrl-C
    const RunResult r = FinishProgram(run);

    ASSERT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find(kCompleted), std::string::npos);
    // The stop is seen between two files; when it came after the last minute the entry is whole
    // and needs no second run.
    const int whole = ExpectWholeCopiesOfRecorder(image, rec);
    EXPECT_GT(whole, 0);
    if (whole < 48 || !fs::exists(image + "BackupInfo.dat")) {
        // The entry the pass did not finish stays scheduled; the add line stays for scripts.
        EXPECT_NE(r.err.find("add 20100523 1000 1011 --cams all"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("(incomplete: the backup was stopped"), std::string::npos) << r.out;
        EXPECT_NE(Cli({"list"}).out.find("2010-05-23 - 10:00 ~ 10:11"), std::string::npos);
        const RunResult rerun = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
        ASSERT_EQ(rerun.status, 0) << rerun.err;
        EXPECT_EQ(ExpectWholeCopiesOfRecorder(image, rec), 48);
    }
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(base + "/Reserved"));  // cleared once every entry was written
}

TEST_F(CliFaultsTest, TheCommandsPrintedAfterAFailedPassScheduleTheSameEntriesAgain) {
    RecordSmallDay();
    const std::string memo = "it's the 'yard' \xC3\xA9 $HOME `x`";
    ASSERT_EQ(
        Cli({"--model", "1648A", "add", kDay, "1000", "1002", "--cams", "all", "--memo", memo})
            .status,
        0);
    ASSERT_EQ(Cli({"add", kDay, "1004", "1005", "--cams", "2,4"}).status, 0);
    const std::string before = Cli({"list"}).out;

    const RunResult full =
        RunProgram(CliPath(), WithBase({"backup", "--folder", "E:\\Backup", "--no-progress"}),
                   prefix(), 50000);
    ASSERT_EQ(full.status, 1) << full.err;
    // Nothing the operator scheduled is lost to the full target.
    EXPECT_EQ(Cli({"list"}).out, before);
    EXPECT_NE(full.err.find("the incomplete entries stay in the schedule"), std::string::npos);
    // The add lines are for scripts that schedule elsewhere: here, after the schedule is gone.
    fs::remove_all(base + "/Reserved");
    std::istringstream lines(full.err);
    int commands = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  quillon-cli ", 0) != 0)
            continue;
        ++commands;
        const RunResult again = RunProgram(
            "/bin/sh", {"-c", "PATH=" + std::string(QUILLON_BIN_DIR) + ":$PATH;" + line}, prefix());
        EXPECT_EQ(again.status, 0) << line << "\n" << again.err;
    }
    EXPECT_EQ(commands, 2) << full.err;
    EXPECT_EQ(Cli({"list"}).out, before);
    EXPECT_EQ(ReadInfo(base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat").modelCode,
              0x1648Au);
}

TEST_F(CliFaultsTest, AMinuteWithHalfItsFilesIsMissingInEveryEntryAndItsEntryStays) {
    RecordSmallDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1001", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"add", kDay, "1004", "1005", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"add", kDay, "1005", "1006", "--cams", "2,3"}).status, 0);
    fs::remove(rec + Name(5) + "N.idx");
    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out.find(kCompleted), std::string::npos);
    for (const std::string entry : {"2010_05_23=10,04~10,05", "2010_05_23=10,05~10,06"}) {
        EXPECT_NE(run.err.find(entry + ": minute 10:05 not copied: its index file is missing"),
                  std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(Image(entry) + Name(5) + "N.dat")) << entry;
    }
    // Kept, and not suggested for an add that would meet the same recording.
    const std::string list = Cli({"list"}).out;
    EXPECT_EQ(list.find("2010-05-23 - 10:00 ~ 10:01"), std::string::npos) << list;
    EXPECT_NE(list.find("2010-05-23 - 10:04 ~ 10:05"), std::string::npos) << list;
    EXPECT_NE(list.find("2010-05-23 - 10:05 ~ 10:06"), std::string::npos) << list;
    EXPECT_EQ(run.err.find("add 20100523 1004"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("2010-05-23 - 10:04 ~ 10:05: its recording is damaged"),
              std::string::npos)
        << run.err;
    // The image says which entries it lacks; a deep check cannot call it verified.
    const std::string manifest = ReadText(usb + "/Backup/SHA256SUMS");
    EXPECT_NE(manifest.find("# incomplete entry: 2010_05_23=10,04~10,05: minute 10:05"),
              std::string::npos)
        << manifest;
    const RunResult verify = Cli({"verify", "E:\\Backup", "--deep"});
    EXPECT_EQ(verify.status, 1) << verify.out;
    EXPECT_NE(verify.out.find("INCOMPLETE: "), std::string::npos) << verify.out;
}

TEST_F(CliFaultsTest, AnAddThatCannotSaveTheScheduleLeavesNoHalfEntry) {
    RecordSmallDay();
    // reserve.dat a folder that cannot even be set aside (the name for it is a folder that is
    // not empty): the entry's own files are written, then the schedule cannot take its name.
    fs::create_directories(Reserve());
    fs::create_directories(Reserve() + ".damaged/kept");
    const RunResult blocked = Cli({"add", kDay, "1000", "1002", "--cams", "all"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("it is a folder, not a file"), std::string::npos) << blocked.err;
    EXPECT_NE(blocked.err.find(kAddRefused), std::string::npos) << blocked.err;
    EXPECT_EQ(Names(base + "/Reserved"),
              (std::set<std::string>{"reserve.dat", "reserve.dat.damaged"}));
    EXPECT_TRUE(fs::is_directory(Reserve()));
    EXPECT_EQ(TempFilesBelow(base), std::vector<std::string>{});

    // A base folder on a volume that turned read-only: the earlier schedule stays as it was.
    const std::string volume = MountTinyDrive('G', "size=4m");
    if (volume.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    base = volume + "/base";
    fs::create_directories(base);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    const std::string before = ReadText(Reserve());
    ASSERT_TRUE(Remount(volume, true));
    const RunResult readOnly = Cli({"add", kDay, "1004", "1006", "--cams", "1"});
    ASSERT_TRUE(Remount(volume, false));
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_NE(readOnly.err.find(kAddRefused), std::string::npos) << readOnly.err;
    EXPECT_TRUE(ReadText(Reserve()) == before);
    EXPECT_EQ(Names(base + "/Reserved"),
              (std::set<std::string>{"2010_05_23=10,00~10,02", "reserve.dat"}));
    const RunResult list = Cli({"list"});
    EXPECT_NE(list.out.find("1 entries"), std::string::npos) << list.out;
}

TEST_F(CliFaultsTest, AFullBaseDiskRefusesTheAddWhicheverWriteFails) {
    RecordSmallDay();
    const std::string volume = MountTinyDrive('G', "size=1m");
    if (volume.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    base = volume + "/base";
    fs::create_directories(base);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    const std::string before = ReadText(Reserve());

    // Room for nothing, for the information file only, and for it and the minute map but not
    // for the new schedule: each write in turn is the one that fails.
    for (unsigned long pagesLeft : {0ul, 3ul, 26ul}) {
        SCOPED_TRACE("pages left: " + std::to_string(pagesLeft));
        struct statvfs vfs {};
        ASSERT_EQ(::statvfs(volume.c_str(), &vfs), 0);
        ASSERT_GT(vfs.f_bavail, pagesLeft);
        WriteText(volume + "/filler", std::string((vfs.f_bavail - pagesLeft) * vfs.f_bsize, 'f'));
        const RunResult full = Cli({"add", kDay, "1004", "1006", "--cams", "1"});
        fs::remove(volume + "/filler");
        EXPECT_EQ(full.status, 1);
        EXPECT_NE(full.err.find(kAddRefused), std::string::npos) << full.err;
        EXPECT_TRUE(ReadText(Reserve()) == before);
        EXPECT_EQ(Names(base + "/Reserved"),
                  (std::set<std::string>{"2010_05_23=10,00~10,02", "reserve.dat"}));
        EXPECT_EQ(TempFilesBelow(base), std::vector<std::string>{});
    }
    const RunResult list = Cli({"list"});
    EXPECT_NE(list.out.find("1 entries"), std::string::npos) << list.out;
    EXPECT_EQ(Cli({"add", kDay, "1004", "1006", "--cams", "1"}).status, 0);  // room again
}

TEST_F(CliFaultsTest, ADamagedMinuteMapIsNamedAndEveryRecordedMinuteIsStillCopied) {
    RecordSmallDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1006", "--cams", "all"}).status, 0);
    const std::string map = base + "/Reserved/2010_05_23=10,00~10,06/" + kDay + "/" + kDay + ".DAT";
    ASSERT_TRUE(fs::exists(map));
    fs::resize_file(map, 100);

    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 1u) << run.err;
    EXPECT_NE(failures[0].find("minute map"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("100 bytes"), std::string::npos) << failures[0];
    EXPECT_EQ(run.out.find(kCompleted), std::string::npos);
    // Six recorded minutes, each with two minute files and three audio files.
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(Image("2010_05_23=10,00~10,06"), rec), 30);
}

TEST_F(CliFaultsTest, ADamagedInformationFileIsNamedAndNeverWrittenOverWithAnEmptyRecord) {
    RecordSmallDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all", "--memo", "front door"}).status,
              0);
    const std::string info = base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat";
    fs::resize_file(info, 100);
    const std::string damaged = ReadText(info);

    // The list cannot show the memo; it says why rather than showing the entry as memo-less.
    const RunResult list = Cli({"list"});
    EXPECT_NE(list.out.find("1 entries"), std::string::npos) << list.out;
    EXPECT_NE(list.err.find("BackupInfo.dat"), std::string::npos) << list.err;

    // A memo cannot be stored in a record that could not be read: it is refused, and the file
    // is not replaced by one of date 0 that every later reader rejects.
    const RunResult memo = Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", "yard"});
    EXPECT_EQ(memo.status, 1);
    EXPECT_NE(memo.err.find("The memo could not be saved"), std::string::npos) << memo.err;
    EXPECT_TRUE(ReadText(info) == damaged);

    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 1);
    const auto failures = FailureLines(run.err);
    ASSERT_EQ(failures.size(), 1u) << run.err;
    EXPECT_NE(failures[0].find("information file"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("damaged"), std::string::npos) << failures[0];
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(Image("2010_05_23=10,00~10,02"), rec), 15);
}

TEST_F(CliFaultsTest, NoCommandPrintsTheUsage) {
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"--base", base},
                             std::vector<std::string>{"--no-progress", "--wait"}}) {
        const RunResult r = RunProgram(CliPath(), args, prefix());
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: quillon-cli"), std::string::npos) << r.err;
    }
}

TEST_F(CliFaultsTest, AMemoOverItsRoomIsCutBeforeACharacterThatWouldNotFitAndSaidSo) {
    RecordSmallDay();
    const std::string entry = base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat";
    // é takes bytes 249 and 250: the memo keeps 249.
    const std::string a = std::string(249, 'a');
    const RunResult add =
        Cli({"add", kDay, "1000", "1002", "--cams", "all", "--memo", a + "\xC3\xA9" + "tail"});
    ASSERT_EQ(add.status, 0) << add.err;
    EXPECT_NE(add.err.find("cut to 249"), std::string::npos) << add.err;
    EXPECT_STREQ(ReadInfo(entry).memo, a.c_str());
    EXPECT_NE(Cli({"list"}).out.find("memo: " + a + "\n"), std::string::npos);

    // The euro sign takes bytes 248 to 250: the memo keeps 248.
    const std::string b = std::string(248, 'b');
    const RunResult memo = Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", b + "\xE2\x82\xAC" + "x"});
    ASSERT_EQ(memo.status, 0) << memo.err;
    EXPECT_NE(memo.err.find("cut to 248"), std::string::npos) << memo.err;
    EXPECT_STREQ(ReadInfo(entry).memo, b.c_str());

    // Exactly the room: kept whole, nothing said.
    const std::string c = std::string(248, 'c') + "\xC3\xA9";
    const RunResult fits = Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", c});
    ASSERT_EQ(fits.status, 0) << fits.err;
    EXPECT_EQ(fits.err, "");
    EXPECT_STREQ(ReadInfo(entry).memo, c.c_str());
}

TEST_F(CliFaultsTest, TheModelGivenAtAddNamesTheAudioOfALaterBackup) {
    mkrec::RecorderPlan plan;
    plan.modelCode = 0x1648A;
    plan.audioChannels = 2;
    plan.audioBytesPerMinute = 3000;
    RecordSmallDay(plan);
    ASSERT_EQ(Cli({"--model", "1648A", "add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"--model", "1648A", "add", kDay, "1001", "1002", "--cams", "2"}).status, 0);

    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string all = Image("2010_05_23=10,00~10,02");
    EXPECT_EQ(Names(all + "Audio"),
              (std::set<std::string>{Name(0) + ".aug0", Name(0) + ".aug1", Name(1) + ".aug0",
                                     Name(1) + ".aug1", Name(2) + ".aug0", Name(2) + ".aug1"}));
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(all, rec), 12);
    EXPECT_EQ(ReadInfo(all + "BackupInfo.dat").modelCode, 0x1648Au);
    EXPECT_EQ(Names(Image("2010_05_23=10,01~10,02") + "Audio"),
              (std::set<std::string>{Name(1) + ".aug1", Name(2) + ".aug1"}));
}

TEST_F(CliFaultsTest, AllCamerasWithoutACameraCountReachCamerasBeyondSixteen) {
    mkrec::RecorderPlan plan;
    plan.cameras = 20;
    RecordSmallDay(plan);
    const std::string twenty =
        "cameras 01,02,03,04,05,06,07,08,09,10,11,12,13,14,15,16,17,18,19,20";
    const RunResult all = Cli({"add", kDay, "1000", "1001", "--cams", "all"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("all cameras  " + twenty), std::string::npos) << all.out;
    const RunResult some = Cli({"add", kDay, "1001", "1002", "--cams", "17,20"});
    ASSERT_EQ(some.status, 0) << some.err;

    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string whole = Image("2010_05_23=10,00~10,01");
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(whole, rec), 10);  // two minutes, three audio channels
    // Without a host the entry carries the dialog's own values.
    const BackupInfoRecord info = ReadInfo(whole + "BackupInfo.dat");
    EXPECT_EQ(info.camCount, 64u);
    EXPECT_EQ(info.recorderKind, 4u);
    EXPECT_EQ(info.modelCode, 0x670u);
    for (int m : {1, 2})
        EXPECT_EQ(CamerasOfIndex(Image("2010_05_23=10,01~10,02") + Name(m) + "N.idx"),
                  (std::set<long long>{16, 19}));
}

TEST_F(CliFaultsTest, ADriveMissingFromTheDriveTableIsNamed) {
    RecordSmallDay();
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    const RunResult target = Cli({"backup", "--folder", "Q:\\Backup"});
    EXPECT_EQ(target.status, 1);
    EXPECT_NE(target.err.find("drive Q:"), std::string::npos) << target.err;
    EXPECT_NE(target.err.find(prefix() + "/drives.ini"), std::string::npos) << target.err;
    EXPECT_TRUE(fs::exists(Reserve()));  // the schedule is kept

    const RunResult baseOnQ = RunProgram(CliPath(), {"--base", "Q:\\Base", "list"}, prefix());
    EXPECT_EQ(baseOnQ.status, 1);
    EXPECT_NE(baseOnQ.err.find("drive Q:"), std::string::npos) << baseOnQ.err;
}

TEST_F(CliFaultsTest, ATargetRemovedMidPassStopsThePassWithOneFailure) {
    RecordLargeDay();
    // Whole minutes copied as files, and minutes rebuilt through the index.
    for (const char* cams : {"all", "1,3"}) {
        SCOPED_TRACE(cams);
        ASSERT_EQ(Cli({"add", kDay, "1000", "1011", "--cams", cams}).status, 0);
        const std::string image = Image("2010_05_23=10,00~10,11");
        const RunningProgram run = StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"});
        ASSERT_TRUE(
            WaitWhileRunning(run.pid, [&] { return fs::exists(image + Name(0) + "N.dat"); }));
        ASSERT_TRUE(Pause(run.pid)) << "the pass ended before the target could be removed";
        fs::remove_all(usb + "/Backup");
        Resume(run.pid);
        const RunResult r = FinishProgram(run);

        EXPECT_EQ(r.status, 1);
        const auto failures = FailureLines(r.err);
        ASSERT_EQ(failures.size(), 1u) << r.err;
        EXPECT_NE(failures[0].find("the target"), std::string::npos) << failures[0];
        EXPECT_NE(failures[0].find("is gone"), std::string::npos) << failures[0];
        EXPECT_EQ(r.out.find(kCompleted), std::string::npos);
        // The entry stays in the schedule; the way to schedule it elsewhere is printed.
        EXPECT_NE(r.err.find("add 20100523 1000 1011 --cams " + std::string(cams)),
                  std::string::npos)
            << r.err;
        EXPECT_NE(Cli({"list"}).out.find("2010-05-23 - 10:00 ~ 10:11"), std::string::npos);
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:11"}).status, 0);
    }
}

TEST_F(CliFaultsTest, ATargetTurnedReadOnlyMidPassStopsThePassWithOneFailure) {
    const std::string stick = MountTinyDrive('F', "size=64m");
    if (stick.empty())
        GTEST_SKIP() << "no small filesystem can be mounted here";
    // Many small files: a volume turns read-only only between two of them, when none is open
    // for writing.
    mkrec::RecorderPlan plan;
    plan.days = {kDay};
    plan.firstMinute = 600;
    plan.lastMinute = 639;
    plan.cameras = 2;
    plan.width = 16;
    plan.height = 16;
    plan.audioChannels = 12;
    plan.audioBytesPerMinute = 2000;
    Record(plan);
    for (const char* cams : {"all", "1"}) {
        SCOPED_TRACE(cams);
        ASSERT_TRUE(Remount(stick, false));
        fs::remove_all(stick + "/Backup");
        ASSERT_EQ(Cli({"add", kDay, "1000", "1039", "--cams", cams}).status, 0);
        const std::string image = stick + "/Backup/2010_05_23=10,00~10,39/" + kDay + "/";
        const RunningProgram run = StartCli({"backup", "--folder", "F:\\Backup", "--no-progress"});
        ASSERT_TRUE(
            WaitWhileRunning(run.pid, [&] { return fs::exists(image + Name(0) + "N.dat"); }));
        bool readOnly = false;
        while (!readOnly && Pause(run.pid)) {
            readOnly = Remount(stick, true);
            Resume(run.pid);
        }
        const RunResult r = FinishProgram(run);
        ASSERT_TRUE(readOnly) << "the pass ended before the target could be made read-only";

        EXPECT_EQ(r.status, 1);
        const auto failures = FailureLines(r.err);
        ASSERT_EQ(failures.size(), 1u) << r.err;
        EXPECT_NE(failures[0].find("the target"), std::string::npos) << failures[0];
        EXPECT_NE(failures[0].find("read-only"), std::string::npos) << failures[0];
        EXPECT_EQ(r.out.find(kCompleted), std::string::npos);
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:39"}).status, 0);  // kept: done here
    }
}

TEST_F(CliFaultsTest, FilesLostFromTheTargetDuringThePassFailItsEntryAndStayInTheManifest) {
    RecordLargeDay();
    // Two files deleted behind the pass's back, then the whole folder taken away and made anew
    // (a medium swapped): both leave fewer files on the target than the pass wrote.
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "swapped" : "deleted");
        fs::remove_all(usb + "/Backup");
        ASSERT_EQ(Cli({"add", kDay, "1000", "1011", "--cams", "all"}).status, 0);
        const std::string image = Image("2010_05_23=10,00~10,11");
        const RunningProgram run = StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"});
        ASSERT_TRUE(
            WaitWhileRunning(run.pid, [&] { return fs::exists(image + Name(1) + "N.dat"); }));
        // The swap makes the day folder again but not its audio folder, and a pass stopped in an
        // audio file rightly finds the image taken away and says only that. So the swap waits
        // until the pass is seen writing into the day folder (a temporary name there), wherever
        // a busy machine let it get to since the poll.
        bool caught = false;
        while (!caught && Pause(run.pid)) {
            const std::set<std::string> names = Names(image);
            caught = !swapped || std::any_of(names.begin(), names.end(), IsTempName);
            if (!caught)
                Resume(run.pid);
        }
        ASSERT_TRUE(caught) << "the pass ended before files could be taken away";
        if (swapped) {
            fs::remove_all(usb + "/Backup");
            fs::create_directories(image);
        } else {
            fs::remove(image + Name(0) + "N.dat");
            fs::remove(image + Name(0) + "N.idx");
        }
        Resume(run.pid);
        const RunResult r = FinishProgram(run);

        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_EQ(r.out.find(kCompleted), std::string::npos);
        EXPECT_NE(r.err.find(Name(0) + "N.dat was written into the image but is gone from the "
                                       "target"),
                  std::string::npos)
            << r.err;
        // Listed as written: the image cannot pass for whole.
        const std::string manifest = ReadText(usb + "/Backup/SHA256SUMS");
        EXPECT_NE(manifest.find("/" + Name(0) + "N.dat\n"), std::string::npos) << manifest;
        EXPECT_EQ(manifest.rfind("# PARTIAL IMAGE", 0), 0u) << manifest;
        const RunResult verify = Cli({"verify", "E:\\Backup"});
        EXPECT_EQ(verify.status, 1) << verify.out;
        EXPECT_NE(Cli({"list"}).out.find("2010-05-23 - 10:00 ~ 10:11"), std::string::npos);
        ASSERT_EQ(Cli({"delete", "2010-05-23 - 10:00 ~ 10:11"}).status, 0);
    }
}

TEST_F(CliFaultsTest, AnIndexThatIsNoDatabaseIsTheRecordingsDamageInEveryEntryAndNoReAddIsOffered) {
    mkrec::RecorderPlan plan;
    plan.damagedMinutes = {{602, mkrec::Damage::kNotADatabase}, {604, mkrec::Damage::kNoTable}};
    RecordSmallDay(plan);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1002", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"add", kDay, "1002", "1004", "--cams", "2,3"}).status, 0);
    const RunResult run = Cli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    EXPECT_EQ(run.status, 1) << run.err;
    for (const std::string entry : {"2010_05_23=10,00~10,02", "2010_05_23=10,02~10,04"})
        EXPECT_NE(run.err.find(entry + ": minute 10:02 not copied: the recording is damaged: its "
                                       "index is not a readable database"),
                  std::string::npos)
            << run.err;
    EXPECT_NE(run.err.find("minute 10:04 not copied: the recording is damaged: its index holds no "
                           "picture table"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("add 20100523"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("2010-05-23 - 10:00 ~ 10:02: its recording is damaged"),
              std::string::npos)
        << run.err;
}

// A damaged minute early in an entry, then a target that fills up: what the entry lacks is no
// longer the recording's alone, and another backup onto a larger target writes the rest of it.
TEST_F(CliFaultsTest, AnEntryCutShortByAFullTargetAfterADamagedMinuteIsScheduledAgain) {
    mkrec::RecorderPlan plan;
    plan.days = {kDay};
    plan.firstMinute = 600;
    plan.lastMinute = 609;
    plan.damagedMinutes = {{600, mkrec::Damage::kNotADatabase}};
    Record(plan);
    ASSERT_EQ(Cli({"add", kDay, "1000", "1009", "--cams", "2"}).status, 0);
    const RunResult full =
        RunProgram(CliPath(), WithBase({"backup", "--folder", "E:\\Backup", "--no-progress"}),
                   prefix(), 50000);
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_NE(full.err.find("minute 10:00 not copied: the recording is damaged"), std::string::npos)
        << full.err;
    EXPECT_NE(full.err.find("quillon-cli --base"), std::string::npos) << full.err;
    EXPECT_NE(full.err.find(" add 20100523 1000 1009 --cams 2"), std::string::npos) << full.err;
    EXPECT_EQ(full.err.find("another backup copies the same"), std::string::npos) << full.err;
    EXPECT_NE(Cli({"list"}).out.find("2010-05-23 - 10:00 ~ 10:09"), std::string::npos);
}
