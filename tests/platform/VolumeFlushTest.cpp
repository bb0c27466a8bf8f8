#include <sys/mount.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "TestEnv.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"

using namespace platform;

namespace {

// An ext4 volume on a loop device whose backing file lies on a tmpfs too small for it: the
// volume takes files at once, and its device fails when the system writes them out.
class FailingDisk {
  public:
    FailingDisk(const std::string& back, const std::string& mountPoint) : back_(back) {
        std::filesystem::create_directories(back);
        if (::mount("tmpfs", back.c_str(), "tmpfs", 0, "size=6m") != 0)
            return;
        backMounted_ = true;
        const std::string image = back + "/disk.img";
        if (std::system(
                ("truncate -s 64M '" + image + "' && mkfs.ext4 -q -F '" + image + "' 2>/dev/null")
                    .c_str()) != 0)
            return;
        FILE* p = ::popen(("losetup -f --show '" + image + "' 2>/dev/null").c_str(), "r");
        if (!p)
            return;
        char line[128] = {};
        if (std::fgets(line, sizeof line, p))
            device_ = std::string(line, std::strcspn(line, "\n"));
        ::pclose(p);
        if (!device_.empty() &&
            ::mount(device_.c_str(), mountPoint.c_str(), "ext4", 0, nullptr) == 0)
            mountPoint_ = mountPoint;
    }
    ~FailingDisk() {
        if (!mountPoint_.empty())
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        if (!device_.empty())
            std::system(("losetup -d " + device_ + " 2>/dev/null").c_str());
        if (backMounted_)
            ::umount2(back_.c_str(), MNT_DETACH);
    }
    bool ready() const { return !mountPoint_.empty(); }

  private:
    std::string back_, device_, mountPoint_;
    bool backMounted_ = false;
};

}  // namespace

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
