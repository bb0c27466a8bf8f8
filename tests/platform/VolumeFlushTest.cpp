#include "FailingDisk.h"
#include "TestEnv.h"
#include "platform/AtomicFile.h"
#include "platform/DrivePaths.h"
#include "platform/EarlyWriteback.h"
#include "platform/FileSystem.h"
#include "platform/VolumePin.h"

using namespace platform;

class VolumeFlushTest : public TempPrefixTest {};

// A pass's files go to the device in the background while it writes the next ones. When the
// device fails meanwhile and something else flushes the volume first (another program, a
// second pass), the pass's own flush at the end must still say the files did not all land.
TEST_F(VolumeFlushTest, AWatchedVolumeReportsADeviceFailureAnotherFlushSawFirst) {
    const std::string stick = MapDrive('F', "removable");
    FailingDisk disk(prefix() + "/back", stick);
    if (!disk.ready())
        GTEST_SKIP() << "no loop device, ext4 or mount on this machine";
    VolumeFlush watched("F:\\");
    const std::string block(1 << 20, 'q');
    for (int i = 0; i < 12; ++i) {
        AtomicFile f;
        ASSERT_TRUE(f.Create("F:\\minute" + std::to_string(i) + ".dat"));
        ASSERT_TRUE(f.Write(block.data(), block.size()));
        ASSERT_TRUE(f.Commit());
    }
    // The other flush sees the failure and uses it up for everyone who looks afresh.
    EXPECT_FALSE(FlushVolume("F:\\"));
    ASSERT_TRUE(FlushVolume("F:\\")) << "this system reports a device failure to every look";
    EXPECT_FALSE(watched.Flush());
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

// A watch made before its folder exists looks the folder up when it flushes; one whose folder
// never came says so.
TEST_F(VolumeFlushTest, AWatchFindsItsFolderAtTheFlush) {
    VolumeFlush later("C:\\Later");
    ASSERT_TRUE(CreateDirectory("C:\\Later"));
    EXPECT_TRUE(later.Flush());
    VolumeFlush never("C:\\Never");
    EXPECT_FALSE(never.Flush());
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Files below a watched folder start for the device at once, from any thread; files beside it
// (a name that merely begins the same) and files after the last watch of it has ended do not.
TEST_F(VolumeFlushTest, OnlyFilesBelowAWatchedFolderStartForTheDeviceAtOnce) {
    ASSERT_TRUE(CreateDirectory("C:\\Image"));
    const std::string image = ResolvePath("C:\\Image");
    {
        VolumeFlush first("C:\\Image\\");
        VolumeFlush moved = std::move(first);
        VolumeFlush second("C:\\Image");
        EXPECT_TRUE(WantsEarlyWriteback(image + "/2010/minute.dat"));
        EXPECT_FALSE(WantsEarlyWriteback(image + "x/minute.dat"));
        EXPECT_FALSE(WantsEarlyWriteback(driveC() + "/NetBackupTemp/minute.dat"));
        second = VolumeFlush();
        EXPECT_TRUE(WantsEarlyWriteback(image + "/minute.dat"));  // the moved watch still holds
    }
    EXPECT_FALSE(WantsEarlyWriteback(image + "/minute.dat"));
}

// A folder pinned to a volume takes no new file that would sit elsewhere (the mount point beneath
// a stick pulled away); a folder whose name merely begins the same, or one let go, is not held.
TEST_F(VolumeFlushTest, APinnedFolderTakesNoFileOffItsVolumeAndLeavesNoneBehind) {
    ASSERT_TRUE(CreateDirectory("C:\\Stick"));
    ASSERT_TRUE(CreateDirectory("C:\\Sticky"));
    const std::string host = ResolvePath("C:\\Stick");
    const std::uint64_t device = VolumeOf("C:\\Stick");
    ASSERT_NE(device, 0u);
    {
        VolumePin same(host, device);
        EXPECT_TRUE(WriteFileAtomically("C:\\Stick\\kept.dat", "k", 1));
    }
    VolumePin elsewhere(host, device + 1);
    AtomicFile f;
    EXPECT_FALSE(f.Create("C:\\Stick\\minute.dat"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(f.Commit());
    EXPECT_EQ(EntriesBelow(host), (std::map<std::string, std::string>{{"kept.dat", "k"}}));
    EXPECT_TRUE(WriteFileAtomically("C:\\Sticky\\beside.dat", "b", 1));
    elsewhere = VolumePin();
    EXPECT_TRUE(WriteFileAtomically("C:\\Stick\\later.dat", "l", 1));
}
