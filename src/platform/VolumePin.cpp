#include "platform/VolumePin.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

struct Pin {
    std::string folder;  // ending in '/'
    std::uint64_t device = 0;
};

std::mutex gPinsMutex;
std::map<long, Pin> gPins;
long gNextId = 0;

}  // namespace

VolumePin::VolumePin(const std::string& hostFolder, std::uint64_t device) {
    if (hostFolder.empty() || device == 0)
        return;
    std::string folder = hostFolder;
    if (folder.back() != '/')
        folder += '/';
    std::lock_guard<std::mutex> lock(gPinsMutex);
    id_ = ++gNextId;
    gPins[id_] = Pin{folder, device};
}

VolumePin::~VolumePin() {
    Release();
}

VolumePin::VolumePin(VolumePin&& other) noexcept : id_(other.id_) {
    other.id_ = 0;
}

VolumePin& VolumePin::operator=(VolumePin&& other) noexcept {
    if (this != &other) {
        Release();
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

void VolumePin::Release() {
    if (id_ == 0)
        return;
    std::lock_guard<std::mutex> lock(gPinsMutex);
    gPins.erase(id_);
    id_ = 0;
}

std::uint64_t PinnedVolumeOf(const std::string& hostPath) {
    std::lock_guard<std::mutex> lock(gPinsMutex);
    std::size_t longest = 0;
    std::uint64_t device = 0;
    for (const auto& [id, pin] : gPins) {
        if (pin.folder.size() > longest &&
            hostPath.compare(0, pin.folder.size(), pin.folder) == 0) {
            longest = pin.folder.size();
            device = pin.device;
        }
    }
    return device;
}

}  // namespace platform
