#pragma once
// Registry access below HKEY_LOCAL_MACHINE\Software\<registry key>\<profile name>.
#include <optional>
#include <string>

#include "platform/Registry.h"

class CHKLM {
  public:
    CHKLM() = default;
    explicit CHKLM(platform::RegistryHive hive) : m_hive(std::move(hive)) {}
    virtual ~CHKLM() = default;

    void SetRegistryKey(const std::string& registryKey, const std::string& profileName);
    // Key paths stand for the handles: nullopt is "none". Missing keys are created when the hive
    // may be written.
    std::optional<std::string> GetAppRegistryKey();
    std::optional<std::string> GetSectionKey(const std::string& section);
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& def);

    std::string m_strRegistryKey = "DVRSETUP";
    std::string m_strProfileName;

  private:
    platform::RegistryHive m_hive;
};

// Root folder of the recorder's recordings: "StoragePath" of Software\VIRERURO\CONFIG\RECINFO,
// default "c:\QorData".
std::string GetStoragePath();
