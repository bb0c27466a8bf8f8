#pragma once
// The application object: the single-instance start, the launch values, the program folder,
// the language text lookup and the shared skin bitmaps.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/LaunchParameters.h"
#include "platform/NamedLock.h"

class CQuillonApp : public LaunchParameters {
  public:
    // Runs the main dialog (or the headless job) once the start-up checks have passed.
    using DialogRunner = std::function<void(CQuillonApp&)>;

    // Takes the lock "Backup" (a second copy returns at once, silently), parses the launch
    // string and runs the dialog. Always FALSE, as the process ends when the dialog closes.
    BOOL InitInstance(const std::string& commandLine, const DialogRunner& runDialog);
    // True when InitInstance got past the single-instance check and ran the dialog.
    bool ranDialog() const { return m_bRanDialog; }

    std::string GetLanguageText(const std::string& section, const std::string& key) const;
    // The language file of the program folder and the language ("%s\Language.%s").
    std::string LanguageFile() const { return m_strExePath + "\\Language." + m_strLanguage; }
    // Loads GUIS\QOR_S_{Normal,Over,Down,Disable,Mask}.bmp below m_strExePath; a file that is
    // missing or not a bitmap leaves its entry empty.
    void LoadSkinBitmaps();

    // The five skin bitmaps as their file bytes (normal, over, down, disable, mask).
    std::array<std::vector<std::uint8_t>, 5> m_bmpSkin;
    std::string m_strExePath;

  private:
    std::unique_ptr<platform::NamedLock> m_mutex;  // held for the life of the process
    bool m_bRanDialog = false;
};
