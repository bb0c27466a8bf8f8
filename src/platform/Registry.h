#pragma once
// The registry hive behind HKEY_LOCAL_MACHINE: <prefix>/registry.ini, one section per key path
// ("Software\VIRERURO\CONFIG\RECINFO"), string values.
#include <string>

namespace platform {

class RegistryHive {
  public:
    // The hive of the current machine prefix.
    RegistryHive();
    explicit RegistryHive(std::string hostFile) : file_(std::move(hostFile)) {}

    // True when the key exists; "Software" always exists while the hive can be read or made.
    bool OpenKey(const std::string& keyPath);
    // Opens the key, creating it when missing; false when the hive cannot be written.
    bool CreateKey(const std::string& keyPath);
    // Value of name under the key; false when key or value is missing.
    bool QueryValue(const std::string& keyPath, const std::string& name, std::string& value);
    bool SetValue(const std::string& keyPath, const std::string& name, const std::string& value);

    const std::string& file() const { return file_; }

  private:
    std::string file_;
};

}  // namespace platform
