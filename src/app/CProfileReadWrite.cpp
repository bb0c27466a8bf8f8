#include "app/CProfileReadWrite.h"

#include <cstdlib>
#include <vector>

#include "platform/PrivateProfile.h"

std::string LookupLanguageText(const std::string& file, const std::string& section,
                               const std::string& key) {
    std::string text = platform::GetPrivateProfileString(section, key, "", 100, file);
    return text.empty() ? key : text;
}

void CProfileReadWrite::SetExePath(const std::string& exePath, const std::string& dataPath,
                                   const std::string& language, int mode) {
    m_strExePath = exePath;
    m_strDataPath = dataPath;
    m_strLanguage = language;
    m_nLanguageMode = mode;
    m_strOrgExePath = exePath;
}

std::string CProfileReadWrite::LanguageDataPath() const {
    return m_strExePath + "\\language." + m_strLanguage;
}

std::string CProfileReadWrite::LanguageReadString(const std::string& section,
                                                  const std::string& key) const {
    return LookupLanguageText(LanguageDataPath(), section, key);
}

std::string CProfileReadWrite::ProtocolDataPath() const {
    return m_strExePath + "\\protocol.ptz";
}
std::string CProfileReadWrite::ConfigDataPath(const std::string&) const {
    return std::string();
}
std::string CProfileReadWrite::SpecialDayDataPath() const {
    return std::string();
}

void CProfileReadWrite::SetEditComboFont(const std::string& name, int height, int weight,
                                         DWORD charset) {
    m_strEditFontName = name;
    m_nEditFontHeight = height;
    m_nEditFontWeight = weight;
    m_dwEditFontCharset = charset;
}

void ReadEditFont(CProfileReadWrite& profile) {
    std::string value = platform::GetPrivateProfileString("SetEditLanguage", "EditLanguage", "",
                                                          200, profile.LanguageDataPath());
    std::string face = "Arial";
    int height = 14, weight = 400;
    DWORD charset = 0;
    if (!value.empty()) {
        // Empty fields between adjacent commas are skipped, as tokenising does.
        std::vector<std::string> fields;
        std::string cur;
        for (char ch : value + ",") {
            if (ch == ',') {
                if (!cur.empty())
                    fields.push_back(cur);
                cur.clear();
            } else {
                cur += ch;
            }
        }
        if (fields.size() > 1)
            face = fields[1];
        if (fields.size() > 2)
            charset = static_cast<DWORD>(std::atol(fields[2].c_str()));
        if (fields.size() > 3)
            height = std::atoi(fields[3].c_str());
        if (fields.size() > 4)
            weight = std::atoi(fields[4].c_str());
    }
    profile.SetEditComboFont(face, height, weight, charset);
}
