// What the command line meets of working files that were damaged, and the model and cameras it
// gives reaching the image. (What a pass makes of odd recordings is backup/RecorderFilesTest's,
// a schedule that cannot be saved backup/ScheduleSaveTest's.)
#include "CliDay.h"

using CliGuardTest = UsbCliFixture;

// A damaged information file is named, shown as unknown rather than memo-less, and never
// written over with an empty record.
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

// A redaction asked of a command that makes no redacted copy is refused before anything is
// made, as bad usage: the operator would take the whole pictures for a redacted copy.
TEST_F(CliGuardTest, RedactWithACommandOtherThanExportIsRefusedBeforeAnyWork) {
    RecordSmallDay(602);
    ASSERT_THAT(Add("1000", "1001"), Ok());
    WriteText(prefix() + "/masks.json", "{}");
    const std::string masks = prefix() + "/masks.json";
    EXPECT_THAT(Backup("E:\\Img", {"--mp4", "--redact", masks}),
                Err(2, "--redact goes with export --mp4 alone: backup makes no redacted copy"));
    EXPECT_FALSE(fs::exists(usb + "/Img"));
    EXPECT_THAT(Cli({"list", "--redact", masks}), Err(2, "list makes no redacted copy"));
    EXPECT_THAT(
        Cli({"encrypt", "E:\\Img", "--out", prefix() + "/o", "--to", "age1x", "--redact", masks}),
        Err(2, "--redact goes with export"));
    EXPECT_FALSE(fs::exists(prefix() + "/o"));
}
