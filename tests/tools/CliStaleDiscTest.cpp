// A disc holds the schedule of its own pass only: what a failed burn left in the disc image
// folder never reaches the next disc.
#include <filesystem>

#include "CliFixture.h"
#include "PseudoDrives.h"

namespace fs = std::filesystem;

class CliStaleDiscTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        if (Shell("command -v xorriso >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "xorriso, which reads the discs back, is not installed";
        UseBuiltData();
        RecordSmallDay(605);
        usb = MapDrive('E', "removable");
    }
    std::string usb;
};

TEST_F(CliStaleDiscTest, AnEntryDeletedAfterAFailedBurnIsNotOnTheNextDisc) {
    const std::string deleted = "2010_05_23=10,00~10,01";
    ASSERT_EQ(Cli({"add", "20100523", "1000", "1001", "--cams", "all"}).status, 0);
    ASSERT_EQ(Cli({"backup", "--folder", "E:\\Built", "--no-progress"}).status, 0);
    // What a burn of that entry that failed leaves in the image folder: the entry, built.
    fs::create_directories(driveC() + "/QuillonTemp");
    fs::copy(usb + "/Built/" + deleted, driveC() + "/QuillonTemp/" + deleted,
             fs::copy_options::recursive);
    ASSERT_EQ(Cli({"add", "20100523", "1004", "1005", "--cams", "all"}).status, 0);

    const std::string iso = prefix() + "/dvd.iso";
    MapPseudoDrive(prefix(), 'D', iso, "dvd+rw");
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    ASSERT_EQ(burnt.status, 0) << burnt.out << burnt.err;
    ASSERT_TRUE(ExtractIso(iso, prefix() + "/read"));
    EXPECT_FALSE(fs::exists(prefix() + "/read/" + deleted));
    EXPECT_TRUE(fs::exists(prefix() + "/read/2010_05_23=10,04~10,05/20100523/201005231005N.dat"));
    const RunResult checked = Cli({"verify", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(checked.status, 0) << checked.out;

    // A disc that carries a folder its manifest does not list fails the check of the disc.
    ASSERT_EQ(Shell("xorriso -indev stdio:'" + iso + "' -outdev stdio:'" + iso + "' -map '" + usb +
                    "/Built/" + deleted + "' /" + deleted + " -commit >/dev/null 2>&1"),
              0);
    const RunResult stale = Cli({"verify", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(stale.status, 1) << stale.out;
    EXPECT_NE(stale.out.find("NOT IN MANIFEST  " + deleted + "/"), std::string::npos) << stale.out;
}
