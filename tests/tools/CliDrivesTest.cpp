// quillon-cli with the drive tables operators write: several writers of which the one named is
// the one written and erased, writers without Path= or beside sections that cannot be used, a
// table without C: or Z:, and an info command that only reads.
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
    MapPseudoDrive(prefix(), 'F', Disc('F'), "cd-r", 1);  // the last writer: a 1 MB CD-R
    Schedule();
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    ASSERT_EQ(burnt.status, 0) << burnt.out << burnt.err;
    EXPECT_TRUE(Written('D'));
    EXPECT_FALSE(Written('F'));
    EXPECT_EQ(burnt.out.find("F:"), std::string::npos) << burnt.out;

    // The 1 MB disc named is refused with its drive and figures, in words.
    Schedule();
    const RunResult small = Cli({"backup", "--disc", "F", "--no-progress"});
    EXPECT_EQ(small.status, 1);
    EXPECT_NE(small.err.find("There is not enough free space[on the storage target]\nF: - "),
              std::string::npos)
        << small.err;
    EXPECT_NE(small.err.find(" MB are needed, 1.0 MB are free."), std::string::npos) << small.err;

    // Erasing D: erases D:, not the disc with data in the last writer.
    MapPseudoDrive(prefix(), 'H', Disc('H'), "cd-rw");
    fs::copy_file(Disc('D'), Disc('H'));
    const RunResult erased = Cli({"erase", "--disc", "D:"});
    EXPECT_EQ(erased.status, 0) << erased.err;
    EXPECT_NE(erased.err.find("The disc has been erased."), std::string::npos) << erased.err;
    EXPECT_EQ(fs::file_size(Disc('D')), 0u);
    EXPECT_TRUE(Written('H'));
}

TEST_F(CliDrivesTest, AnUnusableWriterSectionLeavesTheGoodWriterUsableAndIsTold) {
    MapPseudoDrive(prefix(), 'D', Disc('D'), "dvd+rw");
    fs::create_directories(discs + "/folder");
    MapPseudoDrive(prefix(), 'F', discs + "/folder");
    MapPseudoDrive(prefix(), 'G', Disc('G'), "bluray");
    Schedule();
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(burnt.status, 0) << burnt.err;
    EXPECT_TRUE(Written('D'));
    const std::string ini = prefix() + "/drives.ini";
    EXPECT_NE(burnt.err.find(ini + " [F:]: Device=stdio:" + discs + "/folder is a folder"),
              std::string::npos)
        << burnt.err;
    EXPECT_NE(burnt.err.find(ini + " [G:]: Media=bluray is none of"), std::string::npos)
        << burnt.err;

    Schedule();
    const RunResult named = Cli({"backup", "--disc", "F:", "--no-progress"});
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.err.find("F: is not a disc drive"), std::string::npos) << named.err;
}

TEST_F(CliDrivesTest, TheReadmesWriterWithoutPathWritesItsDisc) {
    WriteText(prefix() + "/drives.ini", "[C:]\nPath=" + driveC() +
                                            "\nType=fixed\n[D:]\nType=cdrom\nDevice=stdio:" +
                                            Disc('D') + "\nMedia=dvd+rw\nCapacityMB=4482\n");
    Schedule();
    const RunResult burnt = Cli({"backup", "--disc", "D:", "--no-progress"});
    EXPECT_EQ(burnt.status, 0) << burnt.err;
    EXPECT_TRUE(Written('D'));
    EXPECT_EQ(burnt.err.find("drives.ini ["), std::string::npos) << burnt.err;
}

TEST_F(CliDrivesTest, ATableWithOnlyEKeepsTheDefaultDrives) {
    const std::string usb = prefix() + "/usb";
    fs::create_directories(usb);
    WriteText(prefix() + "/drives.ini", "[E:]\nPath=" + usb + "\nType=removable\n");
    Schedule();  // the recordings are on the default C:
    const std::string elsewhere = prefix() + "/elsewhere/Backup";  // on the default Z:
    const RunResult done = Cli({"backup", "--folder", elsewhere, "--no-progress"});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_TRUE(fs::exists(elsewhere + "/2010_05_23=10,00~10,03/20100523/201005231003N.dat"));
    Schedule();
    EXPECT_EQ(Cli({"backup", "--folder", "E:\\Backup", "--no-progress"}).status, 0);
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
