#pragma once
#include <sys/mount.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CliRunner.h"

// An ext4 volume on a loop device whose backing file lies on a tmpfs too small for it: the
// volume takes files at once (megabytes of them), and its device fails when the system writes
// out more than a few megabytes. It has no journal: a journal on the failing device aborts at
// its next commit (every five seconds) and turns the volume read-only, so that a pass slower
// than that (a loaded machine, a sanitizer) would be refused its writes instead of meeting the
// failure in its flush.
class FailingDisk {
  public:
    FailingDisk(const std::string& back, const std::string& mountPoint, int megabytes = 64)
        : back_(back) {
        std::filesystem::create_directories(back);
        if (::mount("tmpfs", back.c_str(), "tmpfs", 0, "size=6m") != 0)
            return;
        backMounted_ = true;
        const std::string image = back + "/disk.img";
        if (std::system(("truncate -s " + std::to_string(megabytes) + "M '" + image +
                         "' && mkfs.ext4 -q -F -O ^has_journal '" + image + "' 2>/dev/null")
                            .c_str()) != 0)
            return;
        device_ = CommandOutput("losetup -f --show '" + image + "' 2>/dev/null");
        device_.erase(device_.find_last_not_of('\n') + 1);
        if (!device_.empty() &&
            ::mount(device_.c_str(), mountPoint.c_str(), "ext4", 0, nullptr) == 0)
            mountPoint_ = mountPoint;
    }
    ~FailingDisk() {
        if (!mountPoint_.empty())
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        // A loop device that will not detach is left to the machine: nothing else to undo.
        if (!device_.empty() &&
            std::system(("losetup -d " + device_ + " 2>/dev/null").c_str()) != 0)
            std::fprintf(stderr, "FailingDisk: %s stays attached\n", device_.c_str());
        if (backMounted_)
            ::umount2(back_.c_str(), MNT_DETACH);
    }
    bool ready() const { return !mountPoint_.empty(); }

  private:
    std::string back_, device_, mountPoint_;
    bool backMounted_ = false;
};
