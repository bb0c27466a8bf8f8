#include "app/CHKLM.h"

void CHKLM::SetRegistryKey(const std::string& registryKey, const std::string& profileName) {
    m_strRegistryKey = registryKey;
    m_strProfileName = profileName;
}

std::optional<std::string> CHKLM::GetAppRegistryKey() {
    if (!m_hive.OpenKey("Software"))
        return std::nullopt;
    std::string key = "Software\\" + m_strRegistryKey;
    if (!m_hive.CreateKey(key))
        return std::nullopt;
    key += "\\" + m_strProfileName;
    if (!m_hive.CreateKey(key))
        return std::nullopt;
    return key;
}

std::optional<std::string> CHKLM::GetSectionKey(const std::string& section) {
    auto app = GetAppRegistryKey();
    if (!app)
        return std::nullopt;
    std::string key = *app + "\\" + section;
    if (!m_hive.CreateKey(key))
        return std::nullopt;
    return key;
}

std::string CHKLM::GetProfileString(const std::string& section, const std::string& entry,
                                    const std::string& def) {
    auto key = GetSectionKey(section);
    if (!key)
        return def;
    std::string value;
    if (!m_hive.QueryValue(*key, entry, value))
        return def;
    return value;
}

std::string GetStoragePath() {
    CHKLM reg;
    reg.SetRegistryKey("VIRERURO", "CONFIG");
    return reg.GetProfileString("RECINFO", "StoragePath", "c:\\QorData");
}
