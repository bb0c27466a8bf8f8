#pragma once
// A folder whose new files must stay on the volume it was on when pinned. A stick pulled from
// under a pass leaves its mount point on the disk beneath; a file made there after the last look
// at the volume would otherwise land on that disk, unseen. Pins are process-wide, so that every
// thread writing into the folder (downloads among them) is held to them.
#include <cstdint>
#include <string>

namespace platform {

class VolumePin {
  public:
    VolumePin() = default;
    // hostFolder: a host path; device: the volume it is on (0 pins nothing).
    VolumePin(const std::string& hostFolder, std::uint64_t device);
    ~VolumePin();
    VolumePin(VolumePin&& other) noexcept;
    VolumePin& operator=(VolumePin&& other) noexcept;
    VolumePin(const VolumePin&) = delete;
    VolumePin& operator=(const VolumePin&) = delete;

  private:
    void Release();

    long id_ = 0;
};

// The volume a file at hostPath must be on, from the innermost pin above it; 0 when none.
std::uint64_t PinnedVolumeOf(const std::string& hostPath);
// True when a file made at hostPath, found on the volume device, is not where it belongs: a pin
// above it holds it to another volume.
inline bool OffPinnedVolume(const std::string& hostPath, std::uint64_t device) {
    const std::uint64_t pinned = PinnedVolumeOf(hostPath);
    return pinned != 0 && device != pinned;
}

}  // namespace platform
