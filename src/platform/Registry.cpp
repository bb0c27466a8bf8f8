#include "platform/Registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/DriveTable.h"
#include "platform/PrivateProfile.h"

namespace platform {
namespace {
const char kMissing[] = "\x01<missing>\x01";
}

RegistryHive::RegistryHive() : file_(MachinePrefix() + "/registry.ini") {}

bool RegistryHive::OpenKey(const std::string& keyPath) {
    if (ProfileSectionExists(keyPath, file_))
        return true;
    if (keyPath != "Software")
        return false;
    // The root key exists on every machine: make the hive when it is missing and may be made.
    if (::access(file_.c_str(), R_OK) == 0)
        return true;
    return CreateKey(keyPath);
}

bool RegistryHive::CreateKey(const std::string& keyPath) {
    if (ProfileSectionExists(keyPath, file_))
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ec);
    return WriteProfileSection(keyPath, file_);
}

bool RegistryHive::QueryValue(const std::string& keyPath, const std::string& name,
                              std::string& value) {
    std::string v = GetPrivateProfileString(keyPath, name, kMissing, 65536, file_);
    if (v == kMissing)
        return false;
    value = v;
    return true;
}

bool RegistryHive::SetValue(const std::string& keyPath, const std::string& name,
                            const std::string& value) {
    if (!CreateKey(keyPath))
        return false;
    return WritePrivateProfileString(keyPath, name, value, file_);
}

}  // namespace platform
