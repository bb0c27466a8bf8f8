// quillon-cli as an operator uses it: recordings made by the generator, entries added, changed,
// listed and backed up into a folder through the program, then the image checked file by file;
// and what only the command line meets: arguments it cannot take, the exit statuses, the tool's
// own files replaced by things that are not files, and what reaches the terminal.
#include <sys/stat.h>

#include "CliDay.h"

class CliEndToEndTest : public UsbCliFixture {
  protected:
    void SetUp() override {
        UsbCliFixture::SetUp();
        UseBuiltData();
        mkrec::RecorderPlan plan = SmallDayPlan(606);
        plan.audioChannels = 3;
        plan.gapMinutes = {603};
        plan.cameraStops[3] = 605;
        Record(plan);
        options = {"--cameras", "4"};
    }
};

TEST_F(CliEndToEndTest, EntriesAddedChangedAndBackedUpToAFolderGiveTheImageFileByFile) {
    const RunResult added = Add("1000", "1006", "all", {"--memo", "front door"});
    ASSERT_THAT(added, Out(0, "all cameras  cameras 01,02,03,04\n"));
    EXPECT_EQ(added.out.substr(0, 26), "2010-05-23 - 10:00 ~ 10:06");
    ASSERT_THAT(Add("1002", "1005", "2,4"), Out(0, "selected cameras  cameras 02,04"));
    ASSERT_EQ(Add("1004", "1005", "1").status, 0);
    ASSERT_EQ(Cli({"memo", "2010-05-23 - 10:02 ~ 10:05", "yard"}).status, 0);
    EXPECT_THAT(Cli({"delete", "2010_05_23=10,04~10,05"}).out,  // its entry string
                HasSubstr("deleted 2010-05-23 - 10:04 ~ 10:05\n"));
    const RunResult list = Cli({"list"});
    EXPECT_LT(list.out.find("2010-05-23 - 10:00 ~ 10:06"), list.out.find("2010-05-23 - 10:02"));
    EXPECT_THAT(list.out, HasSubstr("memo: front door"));
    EXPECT_THAT(list.out, HasSubstr("cameras 02,04  memo: yard"));
    EXPECT_THAT(list.out, HasSubstr("\n2 entries, "));
    // What a run killed while it copied the viewer leaves beside it.
    WriteText(usb + "/BackupViewer/.QuillonViewer.py.4242-0.quillon-part", "half");
    ASSERT_THAT(Cli({"backup", "--folder", "E:\\Backup", "--viewer"}),
                AllOf(Out(0, ": 2 entries, "), Printed(HasSubstr("The backup has been completed.")),
                      Said(HasSubstr("progress 100%"))));
    // The all-camera entry: the recorder's own files of every recorded minute, and its audio.
    const std::string all = Image("2010_05_23=10,00~10,06");
    std::set<std::string> expected = {"BackupInfo.dat", "20100523.DAT", "Audio"};
    for (int m : {0, 1, 2, 4, 5, 6})
        for (const char* ext : {"N.idx", "N.dat"})
            expected.insert(Name(m) + ext);
    EXPECT_EQ(Names(all), expected);
    EXPECT_EQ(ExpectWholeCopiesOfRecorder(all, rec), 6 * 2 + 6 * 3);
    const BackupInfoRecord info = ReadInfo(all + "BackupInfo.dat");
    EXPECT_EQ(info.startHour * 100 + info.startMinute, 1000u);
    EXPECT_EQ(info.endHour * 100 + info.endMinute, 1006u);
    EXPECT_EQ(info.camCount, 4u);
    EXPECT_STREQ(info.memo, "front door");
    // The selected-camera entry: rebuilt minutes of cameras 2 and 4 only, audio of channel 1.
    const std::string sel = Image("2010_05_23=10,02~10,05");
    for (int m : {2, 4, 5})
        EXPECT_EQ(CamerasOfIndex(sel + Name(m) + "N.idx"),
                  (m == 5 ? std::set<long long>{1} : std::set<long long>{1, 3}))
            << m;
    EXPECT_EQ(Names(sel + "Audio"),
              (std::set<std::string>{Name(2) + ".au1", Name(4) + ".au1", Name(5) + ".au1"}));
    EXPECT_STREQ(ReadInfo(sel + "BackupInfo.dat").memo, "yard");
    // The viewer at the root of the target's drive, its settings in the disc image folder.
    EXPECT_TRUE(ReadText(usb + "/BackupViewer/QuillonViewer.py") ==
                ReadText(base + "/Other/QuillonViewer.py"));
    EXPECT_TRUE(fs::exists(usb + "/BackupViewer/ReadMe.txt"));
    EXPECT_EQ(TempFilesBelow(usb), std::vector<std::string>{});
    EXPECT_THAT(ReadText(driveC() + "/QuillonTemp/BackupViewer/Viewer.ini"),
                HasSubstr("Language=eng"));
    // A finished folder backup clears the schedule.
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
    EXPECT_THAT(Cli({"list"}).out, HasSubstr("0 entries"));
}

TEST_F(CliEndToEndTest, ACommandLineThatCannotBeUnderstoodIsStatusTwoAndARefusalOne) {
    const std::string unbound = "127.0.0.1:1";
    const std::vector<std::pair<std::vector<std::string>, std::string>> misunderstood = {
        {{}, "no command given"},
        {{"--no-progress", "--wait"}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"--frobnicate", "list"}, "unknown option --frobnicate"},
        {{"list", "--memo"}, "--memo needs a value"},
        {{"--cameras", "65", "list"}, "--cameras takes a number from 1 to 64: 65"},
        {{"--date-type", "9", "list"}, "--date-type takes a number from 0 to 8: 9"},
        {{"--model", "xyz", "list"}, "--model takes a number"},
        {{"add", kDay, "1000"}, "a time is four digits HHMM"},
        {{"add", "2010523", "1000", "1001", "--cams", "1"}, "a day is eight digits YYYYMMDD"},
        {{"add", kDay, "1000", "1061", "--cams", "1"}, "no such time: 1061"},
        {{"add", kDay, "1000", "1001"}, "--cams is required"},
        {{"add", kDay, "1000", "1001", "--cams", "0"}, ""},
        {{"backup"}, "backup needs --folder DRIVE-PATH or --disc LETTER"},
        {{"backup", "--folder", "E:\\B", "--disc", "D"},
         "backup takes --folder or --disc, not both"},
        {{"verify"}, "verify takes one PATH, or --disc LETTER"},
        {{"key", "make"}, "key takes the word create"},
        {{"delete"}, "delete takes the entry's label"},
        {{"--remote", "nowhere", "days"}, "--remote takes ADDRESS:PORT"},
        {{"--token-file", "f", "days"}, "--token and --token-file go with --remote"},
        {{"--remote", unbound, "--token", "t", "--token-file", "f", "days"}, "give the token once"},
        {{"--remote", unbound, "--pin", "sha256:" + std::string(64, '0'), "days"},
         "--ca and --pin go with an https:// --remote address"},
        {{"--remote", "https://" + unbound, "--pin", "sha256:1234", "days"},
         "a pin is sha256: and the 64 hex digits"},
    };
    for (const auto& [args, says] : misunderstood) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_THAT(Cli(args),
                    AllOf(Err(2, "quillon-cli: " + says), Said(HasSubstr("usage: quillon-cli"))));
    }
    EXPECT_EQ(RunProgram(CliPath(), {}, prefix()).status, 2);
    EXPECT_THAT(Cli({"--help"}), Out(0, "usage: quillon-cli"));
    EXPECT_THAT(Cli({"--version"}).out, HasSubstr("quillon-cli "));

    EXPECT_EQ(Backup().status, 1);  // an empty schedule
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"add", kDay, "1005", "1001", "--cams", "1"}, "start time is later"},
        {{"add", kDay, "1003", "1003", "--cams", "1"}, "no recording"},  // the gap minute
        {{"add", kDay, "1000", "1001", "--cams", "5"}, "camera 5 is beyond the camera count 4"},
        {{"add", "20100524", "1000", "1001", "--cams", "1"}, "no recordings of 20100524 on "},
        {{"delete", "2010-05-23 - 10:00 ~ 10:06"},
         "no entry \"2010-05-23 - 10:00 ~ 10:06\" in the schedule"},
    };
    for (const auto& [args, says] : refused)
        EXPECT_THAT(Cli(args), Err(1, says));
    EXPECT_FALSE(fs::exists(usb + "/Backup"));
    // A drive the drive table does not have is named, with the table.
    ASSERT_EQ(Add("1000", "1002").status, 0);
    EXPECT_THAT(Backup("Q:\\Backup"), Err(1, "the target's drive Q: of Q:\\Backup is not in " +
                                                 prefix() + "/drives.ini"));
    EXPECT_TRUE(fs::exists(base + "/Reserved/reserve.dat"));  // the schedule is kept
    EXPECT_THAT(RunProgram(CliPath(), {"--base", "Q:\\Base", "list"}, prefix()),
                Err(1, "the base folder's drive Q:"));

    EXPECT_EQ(Cli({"days"}).out, "20100523\n");
    EXPECT_EQ(Cli({"day", kDay}).out,
              "20100523 cameras 01,02,03,04\n10 minutes 00-02,04-06 cameras 01,02,03,04\n");
}

// A memo over its 250 bytes is cut before a character that would not fit, and the operator told.
TEST_F(CliEndToEndTest, AMemoOverItsRoomIsCutBeforeACharacterThatWouldNotFitAndSaidSo) {
    const std::string entry = base + "/Reserved/2010_05_23=10,00~10,02/BackupInfo.dat";
    ASSERT_EQ(Add("1000", "1002").status, 0);
    // é takes bytes 249 and 250: 249 kept; the euro sign 248 to 250: 248 kept; exactly the room.
    const std::string fits = std::string(248, 'c') + "\xC3\xA9";
    for (const auto& [memo, kept] :
         {std::pair{std::string(249, 'a') + "\xC3\xA9tail", std::string(249, 'a')},
          {std::string(248, 'b') + "\xE2\x82\xAC" + "x", std::string(248, 'b')},
          {fits, fits}}) {
        const RunResult r = Cli({"memo", "2010-05-23 - 10:00 ~ 10:02", memo});
        EXPECT_THAT(r, Ok());
        EXPECT_THAT(r.err, kept == fits
                               ? testing::Matcher<std::string>(testing::IsEmpty())
                               : HasSubstr("the memo holds " + std::to_string(memo.size()) +
                                           " bytes; it was cut to " + std::to_string(kept.size())));
        EXPECT_STREQ(ReadInfo(entry).memo, kept.c_str());
    }
    EXPECT_THAT(Add("1004", "1005", "all", {"--memo", std::string(300, 'd')}).err,
                HasSubstr("cut to 250"));
    EXPECT_THAT(Cli({"list"}).out, HasSubstr("memo: " + std::string(250, 'd') + "\n"));
}

// The tool's own files replaced by things that are not files: nothing waits on a pipe, and the
// operator is told which file is wrong. Memos are shown, never obeyed, by the terminal; info
// and the generator's help only read.
TEST_F(CliEndToEndTest, ThingsThatAreNoFilesAreNamedAndWhatReachesTheTerminalIsShownNotObeyed) {
    ASSERT_EQ(Add("1000", "1001", "all", {"--memo", "gate\x1b]0;owned\x07\x1b[2J"}).status, 0);
    EXPECT_THAT(Cli({"list"}).out, AllOf(Not(HasSubstr("\x1b")), Not(HasSubstr("\x07")),
                                         HasSubstr("memo: gate\\x1b]0;owned\\x07\\x1b[2J")));
    // Nor reordered by a direction override, nor broken by a byte that is no character; a
    // letter of any script stays itself.
    ASSERT_EQ(
        Add("1001", "1002", "all", {"--memo", "Zo\xc3\xab \xe2\x80\xaegpj.exe \xff\xc2\x9b" "2J"})
            .status,
        0);
    EXPECT_THAT(Cli({"list"}).out, HasSubstr("memo: Zo\xc3\xab \\u202Egpj.exe \\xff\\u009B2J"));
    // A copy of the program beside data of its own, whose language file can be replaced. A run
    // that waits on a pipe is ended by the hang guard, and fails.
    const std::string program = prefix() + "/program";
    fs::create_directories(program);
    for (const char* item : {"quillon-cli", "GUIS", "Other", "Language.eng"})
        fs::copy(std::string(QUILLON_BIN_DIR) + "/" + item, program + "/" + item,
                 fs::copy_options::recursive);
    for (const std::string& path :
         {prefix() + "/drives.ini", prefix() + "/registry.ini", program + "/Language.eng"}) {
        SCOPED_TRACE(path);
        const std::string kept = path + ".kept";
        if (fs::exists(path))
            fs::rename(path, kept);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        for (const char* command : {"days", "list"})
            EXPECT_THAT(RunProgram(program + "/quillon-cli", WithBase({command}), prefix()),
                        Err(1, path + " is a named pipe, not a file"))
                << command;
        fs::remove(path);
        if (fs::exists(kept))
            fs::rename(kept, path);
    }

    const auto everything = [&] {
        std::set<std::string> paths;
        for (const auto& e : fs::recursive_directory_iterator(prefix()))
            if (e.path().parent_path() != prefix() || e.path().stem() != "run")  // its output
                paths.insert(e.path().string());
        return paths;
    };
    const auto before = everything();
    EXPECT_THAT(Cli({"info"}),  // with --base
                AllOf(Out(0, "\nbase folder " + base + "\n"), Printed(HasSubstr("\nrecordings "))));
    EXPECT_TRUE(everything() == before);

    const std::string fresh = prefix() + "/fresh";
    for (const char* option : {"--help", "--version"}) {
        EXPECT_THAT(RunProgram("/bin/sh",
                               {"-c", "QUILLON_PREFIX='" + fresh + "' '" + QUILLON_BIN_DIR +
                                          "/quillon-mkrec' " + option},
                               prefix()),
                    Out(0, "quillon-mkrec"))
            << option;
        EXPECT_FALSE(fs::exists(fresh)) << option;  // no registry.ini, no folder for it
    }
}
