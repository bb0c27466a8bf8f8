// quillon-cli with several writers, of which the one named is the one written and erased, and
// an info command that only reads. (What a drive table may hold is the table's own test.)
#include <filesystem>
#include <set>

#include "CliFixture.h"
#include "PseudoDrives.h"

namespace fs = std::filesystem;

class CliDrivesTest : public CliFixture {
  protected:
    void SetUp() override {
        CliFixture::SetUp();
        UseBuiltData();
        RecordSmallDay(603);
        discs = prefix() + "/discs";
        fs::create_directories(discs);
    }
    void Schedule() {
        const RunResult added = Cli({"add", "20100523", "1000", "1003", "--cams", "all"});
        ASSERT_EQ(added.status, 0) << added.err;
    }
    std::string Disc(char letter) const { return discs + "/" + std::string(1, letter) + ".iso"; }
    bool Written(char letter) const { return VolumeId(Disc(letter)) == "QORBACKUP"; }
    std::string discs;
};

TEST_F(CliDrivesTest, TheNamedWriterIsTheOneWrittenAndErased) {
    MapPseudoDrive(prefix(), 'D', Disc('D'), "dvd+rw");
    MapPseudoDrive(prefix(), 'F', Disc('F'), "cd-r");  // the last writer
    Schedule();
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    ASSERT_EQ(burnt.status, 0) << burnt.out << burnt.err;
    EXPECT_TRUE(Written('D'));
    EXPECT_FALSE(Written('F'));
    EXPECT_EQ(burnt.out.find("F:"), std::string::npos) << burnt.out;

    // Erasing D: erases D:, not the disc with data in the last writer.
    MapPseudoDrive(prefix(), 'H', Disc('H'), "cd-rw");
    fs::copy_file(Disc('D'), Disc('H'));
    const RunResult erased = Cli({"erase", "--disc", "D:"});
    EXPECT_EQ(erased.status, 0) << erased.err;
    EXPECT_NE(erased.err.find("The disc has been erased."), std::string::npos) << erased.err;
    EXPECT_EQ(fs::file_size(Disc('D')), 0u);
    EXPECT_TRUE(Written('H'));
}

TEST_F(CliDrivesTest, InfoShowsTheBaseFolderGivenAndWritesNothing) {
    auto everything = [&] {
        std::set<std::string> paths;
        for (const auto& e : fs::recursive_directory_iterator(prefix()))
            if (e.path().parent_path() != prefix() || e.path().stem() != "run")  // its output
                paths.insert(e.path().string());
        return paths;
    };
    const auto before = everything();
    const RunResult info = Cli({"info"});  // with --base
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\nbase folder " + base + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\nrecordings "), std::string::npos) << info.out;
    EXPECT_TRUE(everything() == before);
}
