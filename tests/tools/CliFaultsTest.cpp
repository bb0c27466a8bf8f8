// quillon-cli when a backup does not go as planned: a run killed or stopped with Ctrl-C in the
// middle, and the commands it prints to schedule again what it could not write, which a
// damaged recording does not get, as another backup would copy the same.
#include "CliDay.h"

const std::string kCompleted = "The backup has been completed.";

class CliFaultsTest : public UsbCliFixture {
  protected:
    // A backup of twelve large minutes, started; image is its entry's day folder.
    RunningProgram StartLargeBackup() {
        RecordLargeDay();
        EXPECT_EQ(Add("1000", "1011").status, 0);
        image = Image("2010_05_23=10,00~10,11");
        return StartCli({"backup", "--folder", "E:\\Backup", "--no-progress"});
    }
    // The backup with a limit on the size of each file it writes: a target that fills up.
    RunResult BackupOntoAFullTarget(const std::string& folder) {
        return RunProgram(CliPath(), WithBase({"backup", "--folder", folder, "--no-progress"}),
                          prefix(), 50000);
    }
    // Seven minutes from 10:00 of four small cameras with three audio channels, 10:03 missing.
    static mkrec::RecorderPlan SevenMinutes() {
        mkrec::RecorderPlan plan = SmallDayPlan(606);
        plan.audioChannels = 3;
        plan.gapMinutes = {603};
        return plan;
    }
    std::string image;
};

TEST_F(CliFaultsTest, AKilledBackupLeavesNoShortFileAndARerunCompletesTheImage) {
    const RunningProgram run = StartLargeBackup();
    // Killed while a file is being written under its temporary name, after some took theirs.
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] {
        return fs::exists(image + Name(0) + "N.dat") && !TempFilesBelow(image).empty();
    }));
    ::kill(run.pid, SIGKILL);
    ASSERT_EQ(FinishProgram(run).status, 128 + SIGKILL) << "the pass ended before it was killed";
    // Twelve minutes of two minute files and two audio files: what has its name is whole.
    const int whole = ExpectWholeCopiesOfRecorder(image, rec);
    EXPECT_GT(whole, 0);
    EXPECT_LT(whole, 48);
    EXPECT_TRUE(fs::exists(base + "/Reserved/reserve.dat"));  // killed before its clean-up

    ASSERT_THAT(Backup(), Out(0, kCompleted));
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(image, rec), 48);
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
}

TEST_F(CliFaultsTest, CtrlCStopsTheBackupWithStatus130AndSaysWhatIsMissing) {
    const RunningProgram run = StartLargeBackup();
    ASSERT_TRUE(WaitWhileRunning(run.pid, [&] { return fs::exists(image + Name(0) + "N.dat"); }));
    ::kill(run.pid, SIGINT);
    const RunResult r = FinishProgram(run);

    ASSERT_THAT(r, Err(130, "the backup was stopped; the image is incomplete"));
    EXPECT_THAT(r.out, Not(HasSubstr(kCompleted)));
    // The stop is seen between two files; when it came after the last minute the entry is whole
    // and needs no second run.
    const int whole = ExpectWholeCopiesOfRecorder(image, rec);
    EXPECT_GT(whole, 0);
    if (whole < 48 || !fs::exists(image + "BackupInfo.dat")) {
        // The entry the pass did not finish stays scheduled; the add line stays for scripts.
        EXPECT_THAT(r.err, HasSubstr("add 20100523 1000 1011 --cams all"));
        EXPECT_THAT(r.out, HasSubstr("(incomplete: the backup was stopped"));
        EXPECT_THAT(Cli({"list"}).out, HasSubstr("2010-05-23 - 10:00 ~ 10:11"));
        ASSERT_THAT(Backup(), Ok());
        EXPECT_EQ(ExpectWholeCopiesOfRecorder(image, rec), 48);
    }
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(base + "/Reserved"));  // cleared once every entry was written
}

TEST_F(CliFaultsTest, TheCommandsPrintedAfterAFailedPassScheduleTheSameEntriesAgain) {
    mkrec::RecorderPlan plan = SevenMinutes();
    plan.modelCode = 0x1648A;
    Record(plan);
    const std::string memo = "it's the 'yard' \xC3\xA9 $HOME `x`";
    options = {"--model", "1648A"};
    ASSERT_EQ(Add("1000", "1002", "all", {"--memo", memo}).status, 0);
    options.clear();
    ASSERT_EQ(Add("1004", "1005", "2,4").status, 0);
    const std::string before = Cli({"list"}).out;

    const RunResult full = BackupOntoAFullTarget("E:\\Backup");
    ASSERT_THAT(full, Err(1, "the backup is incomplete: "));
    // Nothing the operator scheduled is lost to the full target.
    EXPECT_EQ(Cli({"list"}).out, before);
    EXPECT_THAT(full.err, HasSubstr("the incomplete entries stay in the schedule"));
    // The add lines are for scripts that schedule elsewhere: here, after the schedule is gone.
    fs::remove_all(base + "/Reserved");
    std::istringstream lines(full.err);
    int commands = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  quillon-cli ", 0) != 0)
            continue;
        ++commands;
        EXPECT_THAT(
            RunProgram("/bin/sh", {"-c", "PATH=" + std::string(QUILLON_BIN_DIR) + ":$PATH;" + line},
                       prefix()),
            Ok());
    }
    EXPECT_EQ(commands, 2) << full.err;
    EXPECT_EQ(Cli({"list"}).out, before);
    EXPECT_EQ(ReadInfo(base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat").modelCode,
              0x1648Au);
}

// A damaged index is the recording's damage: no add is offered for its entry, which stays. A
// target that fills up after it makes the entry lack more than the recording does, and it is
// offered again.
TEST_F(CliFaultsTest, ADamagedRecordingIsOfferedAgainOnlyWhenItsEntryLacksMoreThanTheDamage) {
    mkrec::RecorderPlan plan = SevenMinutes();
    plan.damagedMinutes = {{602, mkrec::Damage::kNotADatabase}};
    Record(plan);
    ASSERT_EQ(Add("1000", "1002").status, 0);
    ASSERT_EQ(Add("1002", "1004", "2,3").status, 0);
    const RunResult run = Backup();
    EXPECT_THAT(run, Err(1, "  2010-05-23 - 10:00 ~ 10:02: its recording is damaged"));
    for (const std::string entry : {"2010_05_23=10,00~10,02", "2010_05_23=10,02~10,04"})
        EXPECT_THAT(run.err, HasSubstr("failed: " + entry +
                                       ": minute 10:02 not copied: the recording is damaged: its "
                                       "index is not a readable database"));
    EXPECT_THAT(run.out, HasSubstr("  2010-05-23 - 10:00 ~ 10:02  (incomplete: "));
    EXPECT_THAT(run.err, Not(HasSubstr("add 20100523")));
    EXPECT_THAT(Cli({"list"}).out, HasSubstr("2010-05-23 - 10:00 ~ 10:02"));

    const RunResult full = BackupOntoAFullTarget("E:\\Full");
    EXPECT_THAT(full, Err(1, "quillon-cli --base"));
    EXPECT_THAT(full.err, AllOf(HasSubstr(" add 20100523 1000 1002 --cams all"),
                                HasSubstr(" add 20100523 1002 1004 --cams 2,3")));
}
