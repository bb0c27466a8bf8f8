#include "storage/WorkingFolder.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "TestEnv.h"
#include "share/Has.h"
#include "storage/RecorderPaths.h"

namespace fs = std::filesystem;
using namespace storage;

class WorkingFolderTest : public TempPrefixTest {};

TEST_F(WorkingFolderTest, DeleteFolderTreeRemovesReadOnlyEntriesButNeverFollowsALink) {
    WriteText(driveC() + "/W/a/b/deep.txt", "x");
    WriteText(driveC() + "/W/ro.txt", "y");
    fs::permissions(driveC() + "/W/ro.txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(driveC() + "/W/a/b", fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
    // Links inside the folder lead to files and a folder of somebody else's.
    WriteText(driveC() + "/outside/keep.txt", "keep");
    fs::create_directory_symlink(driveC() + "/outside", driveC() + "/W/a/to-folder");
    fs::create_symlink(driveC() + "/outside/keep.txt", driveC() + "/W/to-file");
    DeleteFolderTree("C:\\w");
    EXPECT_FALSE(fs::exists(driveC() + "/W"));
    EXPECT_EQ(ReadText(driveC() + "/outside/keep.txt"), "keep");

    // The folder itself a link: the link goes, what it leads to stays.
    fs::create_directory_symlink(driveC() + "/outside", driveC() + "/Reserved");
    DeleteFolderTree("C:\\Reserved");
    EXPECT_FALSE(fs::is_symlink(driveC() + "/Reserved"));
    EXPECT_EQ(ReadText(driveC() + "/outside/keep.txt"), "keep");
    DeleteFolderTree("C:\\missing");  // nothing there, nothing reported
}

TEST_F(WorkingFolderTest, ScheduleTableRoundTripsAndADamagedOneIsKeptAsideNotTrusted) {
    fs::create_directories(driveC() + "/Backup");
    ScheduleTable table{}, loaded{};
    EXPECT_EQ(LoadScheduleTable("C:\\Backup\\", loaded).outcome, ScheduleLoad::kMissing);
    table[3].bUsed = 1;
    SetKeys(table[3], "201005231400", "201005231530");
    table[3].bCam[40] = 1;
    table[3].nSize = 5003;
    ASSERT_TRUE(SaveScheduleTable("C:\\Backup\\", table));
    const std::string file = driveC() + "/Backup/Reserved/reserve.dat";
    ASSERT_EQ(fs::file_size(file), 24400u);
    const std::string bytes = ReadText(file);
    EXPECT_EQ(bytes[3 * 488], 1);
    EXPECT_EQ(bytes.substr(3 * 488 + 4, 12), "201005231400");
    EXPECT_EQ(bytes[3 * 488 + 36 + 40 * 4], 1);
    ASSERT_EQ(LoadScheduleTable("C:\\Backup\\", loaded).outcome, ScheduleLoad::kLoaded);
    EXPECT_EQ(std::memcmp(loaded.data(), table.data(), 24400), 0);

    // Random bytes, a cut file and a slot whose range runs backwards: none is loaded, each is
    // kept beside for the operator, and what was in the table stays.
    std::string random(24400, '\0');
    for (std::size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 7919 + 13) % 251);
    const std::string backwards = [&] {
        ScheduleTable t = table;
        SetKeys(t[3], "201005231530", "201005231400");
        return std::string(reinterpret_cast<const char*>(t.data()), sizeof t);
    }();
    for (const std::string& damaged : {random, bytes.substr(0, 1000), backwards}) {
        WriteText(file, damaged);
        ScheduleTable kept = table;
        const ScheduleLoad load = LoadScheduleTable("C:\\Backup\\", kept);
        EXPECT_EQ(load.outcome, ScheduleLoad::kRejected);
        EXPECT_FALSE(load.problem.empty());
        EXPECT_EQ(std::memcmp(kept.data(), table.data(), 24400), 0);
        EXPECT_FALSE(fs::exists(file));
        EXPECT_TRUE(ReadText(file + ".damaged") == damaged);
    }
}

TEST_F(WorkingFolderTest, MinuteMapsAreWrittenWholeAndReadBackOnlyWhenWhole) {
    const std::string entry = "2010_05_23=14,00~15,30";
    fs::create_directories(driveC() + "/Backup/Reserved/" + entry);
    MinuteMapBlock map{};
    map[3 * 1440 + 14 * 60 + 5] = 1;
    map[63 * 1440 + 1439] = 1;
    ASSERT_TRUE(SaveMinuteMap("C:\\Backup\\Reserved", entry, "20100523", map));
    const std::string host = driveC() + "/Backup/Reserved/" + entry + "/20100523/20100523.DAT";
    ASSERT_EQ(fs::file_size(host), 92164u);
    EXPECT_EQ(ReadText(host).substr(92160), std::string(4, '\0'));

    MinuteMapBlock back{};
    const std::string path = paths::WorkingMinuteMapPath("C:\\Backup", entry, "20100523");
    const MapRead read = ReadMinuteMapFile(path, back);  // written .DAT, read .dat
    EXPECT_TRUE(read.found && read.problem.empty());
    EXPECT_EQ(back, map);

    // A cut map would hide the minutes past its end; a byte of 7 is no flag.
    const std::string whole = ReadText(host);
    WriteText(host, whole.substr(0, 100));
    EXPECT_HAS(ReadMinuteMapFile(path, back).problem, "100 bytes");
    std::string seven = whole;
    seven[5] = 7;
    WriteText(host, seven);
    EXPECT_FALSE(ReadMinuteMapFile(path, back).problem.empty());
    EXPECT_EQ(back, MinuteMapBlock{});
    EXPECT_FALSE(ReadMinuteMapFile(path + "x", back).found);

    // A map that cannot be written leaves no file under its name.
    fs::remove_all(driveC() + "/Backup/Reserved");
    EXPECT_FALSE(SaveMinuteMap("C:\\Backup\\Reserved", entry, "20100523", map));
}

TEST_F(WorkingFolderTest, LeftoversOfAKilledRunAreRemovedAndNothingElse) {
    const std::string reserved = driveC() + "/Backup/Reserved/", entry = "2010_05_23=14,00~15,30/";
    for (const char* part : {".reserve.dat.4242-0.quillon-part",
                             "2010_05_23=14,00~15,30/.BackupInfo.dat.4242-1.quillon-part",
                             "2010_05_23=14,00~15,30/20100523/.20100523.DAT.4242-2.quillon-part"})
        WriteText(reserved + part, "half");
    WriteText(reserved + entry + "BackupInfo.dat", "whole");
    RemoveLeftovers("C:\\Backup\\");
    EXPECT_EQ(FilesBelow(reserved),
              (std::map<std::string, std::string>{{entry + "BackupInfo.dat", "whole"}}));
}

TEST(WorkingFolderPathsTest, ABaseFolderWithOrWithoutItsSeparatorGivesOneBeforeReserved) {
    // The local base folder ends in one ("C:\Backup\"), the share server's does not.
    for (const std::string base : {"C:\\Backup", "C:\\Backup\\"}) {
        EXPECT_EQ(paths::WorkingFolder(base), "C:\\Backup\\Reserved") << base;
        EXPECT_EQ(paths::ReservePath(base), "C:\\Backup\\Reserved\\reserve.dat") << base;
        EXPECT_EQ(paths::WorkingInfoPath(base, "2010_05_23=10,00~10,03"),
                  "C:\\Backup\\Reserved\\2010_05_23=10,00~10,03\\BackupInfo.dat")
            << base;
        EXPECT_EQ(paths::WorkingMinuteMapPath(base, "2010_05_23=10,00~10,03", "20100523"),
                  "C:\\Backup\\Reserved\\2010_05_23=10,00~10,03\\20100523\\20100523.dat")
            << base;
    }
}
