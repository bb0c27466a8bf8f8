#include "app/CQuillonApp.h"

#include "app/CProfileReadWrite.h"
#include "platform/File.h"

BOOL CQuillonApp::InitInstance(const std::string& commandLine, const DialogRunner& runDialog) {
    m_mutex = platform::NamedLock::TryAcquire("Backup");
    if (!m_mutex)
        return 0;
    static_cast<LaunchParameters&>(*this) = ParseLaunchParameters(commandLine);
    m_bRanDialog = true;
    if (runDialog)
        runDialog(*this);
    return 0;
}

std::string CQuillonApp::GetLanguageText(const std::string& section, const std::string& key) const {
    return LookupLanguageText(LanguageFile(), section, key);
}

void CQuillonApp::LoadSkinBitmaps() {
    static const char* const kFiles[5] = {"GUIS\\QOR_S_Normal.bmp", "GUIS\\QOR_S_Over.bmp",
                                          "GUIS\\QOR_S_Down.bmp", "GUIS\\QOR_S_Disable.bmp",
                                          "GUIS\\QOR_S_Mask.bmp"};
    for (int i = 0; i < 5; ++i) {
        m_bmpSkin[i].clear();
        platform::File f;
        if (!f.Open(m_strExePath + "\\" + kFiles[i], platform::File::kRead))
            continue;
        long long len = f.Length();
        if (len < 26)
            continue;  // smaller than the bitmap headers
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(len));
        if (f.ReadAt(bytes.data(), bytes.size(), 0) != len)
            continue;
        if (bytes[0] != 'B' || bytes[1] != 'M')
            continue;
        m_bmpSkin[i] = std::move(bytes);
    }
}
