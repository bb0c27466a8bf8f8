// quillon and quillon-host as the processes an installation runs: the host launches the tool,
// talks to it over the message bus and hears its notice as it closes.
#include <filesystem>

#include "CliFixture.h"
#include "platform/MessageBus.h"

namespace fs = std::filesystem;

namespace {

const std::string kNotice = "received 0x2B21 wParam=2 lParam=1";

}  // namespace

class HostEndToEndTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        for (const char* item : {"GUIS", "Other", "Language.eng"})
            fs::copy(std::string(QUILLON_BIN_DIR) + "/" + item, base + "/" + item,
                     fs::copy_options::recursive);
        Record({.days = {"20100523"},
                .firstMinute = 600,
                .lastMinute = 605,
                .width = 16,
                .height = 16,
                .audioChannels = 2,
                .audioBytesPerMinute = 2000});
    }
    RunResult Host(std::vector<std::string> args) {
        args.insert(args.begin(), {"--base", base, "--timeout", "30"});
        return FinishProgram(StartProgram(std::string(QUILLON_BIN_DIR) + "/quillon-host", args,
                                          prefix(), 0, "host"));
    }
};

TEST_F(HostEndToEndTest, AfterTheHostsRecordTheToolIsRemoteAndClosesWithoutANotice) {
    const RunResult run = Host({"record:cameras=16,date-type=4,drives=1C", "drives:1C",
                                "query:1100", "click:2", "wait-closed"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("control 1100 result=-1 text=D:\\|E:\\"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(kNotice), std::string::npos) << run.out;
}

TEST_F(HostEndToEndTest, TheHostReadsTheToolsControlsAndHearsItsNoticeAsItCloses) {
    // The day's hours come once the player has listed the days.
    const RunResult run = Host({"wait-rows:1013", "query:1013", "click:2", "wait-closed"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("control 1013 result=-1 text=10"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(kNotice), std::string::npos) << run.out;
}

TEST_F(HostEndToEndTest, ABackupStartedOverTheBusEqualsTheCommandLinesByteForByte) {
    const std::string usb = MapDrive('E', "removable");
    auto schedule = [&] {
        ASSERT_EQ(
            Cli({"add", "20100523", "1000", "1003", "--cams", "all", "--memo", "gate"}).status, 0);
        ASSERT_EQ(Cli({"add", "20100523", "1002", "1005", "--cams", "2,4"}).status, 0);
    };
    schedule();
    // The case kept with the schedule is in the window's fields and in its image's report.
    ASSERT_EQ(Cli({"case", "--case", "CR-2026/9", "--exhibit", "E/1", "--operator", "Pat"}).status,
              0);
    fs::create_directories(usb + "/Window");
    const RunResult run =
        Host({"query:1991", "target:" + usb + "/Window", "click:1", "wait-empty:1037", "end-tool"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("text=CR-2026/9\n"), std::string::npos) << run.out;
    EXPECT_NE(ReadText(usb + "/Window/report.json").find("\"exhibit\": \"E/1\""),
              std::string::npos);
    schedule();
    const RunResult cli = Cli({"backup", "--folder", usb + "/Line", "--no-progress"});
    ASSERT_EQ(cli.status, 0) << cli.err;
    // The same but for what says when each was made (its report and custody log).
    const auto window = ImageBelow(usb + "/Window"), line = ImageBelow(usb + "/Line");
    EXPECT_EQ(window.size(), line.size());
    EXPECT_GT(window.size(), 20u);
    EXPECT_TRUE(window == line) << "the images differ";
}
