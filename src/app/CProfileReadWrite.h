#pragma once
// The program-wide profile object: program folder and language as the dialog (and later the
// host's record) set them, the language file path, and the edit controls' font.
#include <string>

#include "platform/Types.h"

class CProfileReadWrite {
  public:
    virtual ~CProfileReadWrite() = default;

    void SetExePath(const std::string& exePath, const std::string& dataPath,
                    const std::string& language, int mode);
    std::string LanguageDataPath() const;  // "%s\language.%s"
    std::string LanguageReadString(const std::string& section, const std::string& key) const;
    std::string ProtocolDataPath() const;  // "%s\protocol.ptz"
    std::string ConfigDataPath(const std::string& name) const;
    std::string SpecialDayDataPath() const;
    void SetEditComboFont(const std::string& name, int height, int weight, DWORD charset);

    std::string m_strExePath;
    std::string m_strDataPath;
    std::string m_strLanguage;
    std::string m_strOrgExePath;
    int m_nLanguageMode = 0;
    std::string m_strEditFontName;
    DWORD m_dwEditFontCharset = 0;
    int m_nEditFontHeight = 0;
    int m_nEditFontWeight = 0;
};

// Reads "EditLanguage" of "SetEditLanguage" from the profile's language file and hands the font
// to SetEditComboFont ("Arial", 14, 400, 0 when the value is empty or missing).
void ReadEditFont(CProfileReadWrite& profile);

// The lookup shared by every text of the program: the value of key in section of the file, at
// most 99 characters, or the key itself when it is missing or empty.
std::string LookupLanguageText(const std::string& file, const std::string& section,
                               const std::string& key);
