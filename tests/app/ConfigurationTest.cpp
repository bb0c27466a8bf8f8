#include <filesystem>

#include "TestEnv.h"
#include "app/CHKLM.h"
#include "app/CProfileReadWrite.h"
#include "app/CQuillonApp.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;

class ConfigurationTest : public TempPrefixTest {};

TEST_F(ConfigurationTest, LanguageTextFallsBackToTheKey) {
    CQuillonApp app;
    app.m_strExePath = "C:\\Backup\\";
    app.m_strLanguage = "eng";
    EXPECT_EQ(app.GetLanguageText("BACKUP", "A010007"), "A010007");  // no file yet
    WriteText(driveC() + "/Backup/Language.eng",
              "[BACKUP]\nA010007=Start\nM010016=\nM010017=" + std::string(150, 'm') + "\n");
    EXPECT_EQ(app.GetLanguageText("BACKUP", "A010007"), "Start");
    EXPECT_EQ(app.GetLanguageText("backup", "a010007"), "Start");
    EXPECT_EQ(app.GetLanguageText("BACKUP", "M010016"), "M010016");
    EXPECT_EQ(app.GetLanguageText("BACKUP", "M010017"), std::string(99, 'm'));
    EXPECT_EQ(app.GetLanguageText("CDWRITER", "A010007"), "A010007");
    // The profile object finds the same file through its lower-case name.
    CProfileReadWrite profile;
    profile.SetExePath("C:\\Backup\\", "C:\\Backup\\", "eng", 1);
    EXPECT_EQ(profile.LanguageDataPath(), "C:\\Backup\\\\language.eng");
    EXPECT_EQ(profile.LanguageReadString("BACKUP", "A010007"), "Start");
    EXPECT_EQ(profile.ProtocolDataPath(), "C:\\Backup\\\\protocol.ptz");
    EXPECT_EQ(profile.m_strOrgExePath, "C:\\Backup\\");
}

TEST_F(ConfigurationTest, EditFontFromLanguageFile) {
    CProfileReadWrite profile;
    profile.SetExePath("C:\\", "C:\\", "eng", 0);
    const auto font = [&](const char* entry) {
        if (entry)
            WriteText(driveC() + "/language.eng", std::string("[SetEditLanguage]\n") + entry);
        ReadEditFont(profile);
        return profile.m_strEditFontName + " " + std::to_string(profile.m_dwEditFontCharset) + " " +
               std::to_string(profile.m_nEditFontHeight) + " " +
               std::to_string(profile.m_nEditFontWeight);
    };
    EXPECT_EQ(font(nullptr), "Arial 0 14 400");
    EXPECT_EQ(font("EditLanguage=x,Tahoma,0,12,700\n"), "Tahoma 0 12 700");
    // Empty fields are skipped.
    EXPECT_EQ(font("EditLanguage=x,,Verdana,,129,16\n"), "Verdana 129 16 400");
    EXPECT_EQ(font("EditLanguage=\n"), "Arial 0 14 400");
}

TEST_F(ConfigurationTest, StoragePathCreatesKeysAndReadsValue) {
    EXPECT_EQ(GetStoragePath(), "c:\\QorData");
    platform::RegistryHive hive;
    EXPECT_TRUE(hive.OpenKey("Software\\VIRERURO\\CONFIG\\RECINFO"));
    ASSERT_TRUE(hive.SetValue("Software\\VIRERURO\\CONFIG\\RECINFO", "StoragePath", "D:\\Rec"));
    EXPECT_EQ(GetStoragePath(), "D:\\Rec");
    CHKLM other;
    EXPECT_EQ(other.m_strRegistryKey, "DVRSETUP");
    EXPECT_EQ(other.GetProfileString("RECINFO", "StoragePath", "none"), "none");
}

TEST_F(ConfigurationTest, UnwritableHiveGivesTheDefault) {
    WriteText(prefix() + "/blocker", "not a folder");
    CHKLM reg(platform::RegistryHive(prefix() + "/blocker/registry.ini"));
    reg.SetRegistryKey("VIRERURO", "CONFIG");
    EXPECT_EQ(reg.GetProfileString("RECINFO", "StoragePath", "c:\\QorData"), "c:\\QorData");
    EXPECT_FALSE(reg.GetAppRegistryKey().has_value());
}

TEST_F(ConfigurationTest, SkinBitmapsLoadedWhenPresent) {
    CQuillonApp app;
    app.m_strExePath = "C:\\Backup\\";
    std::string bmp = "BM" + std::string(60, '\0');
    WriteText(driveC() + "/Backup/GUIS/QOR_S_Normal.bmp", bmp);
    WriteText(driveC() + "/Backup/GUIS/qor_s_mask.BMP", bmp);
    WriteText(driveC() + "/Backup/GUIS/QOR_S_Over.bmp", "not a bitmap at all, just some text");
    app.LoadSkinBitmaps();
    EXPECT_EQ(app.m_bmpSkin[0].size(), bmp.size());
    EXPECT_TRUE(app.m_bmpSkin[1].empty());
    EXPECT_TRUE(app.m_bmpSkin[2].empty());
    EXPECT_TRUE(app.m_bmpSkin[3].empty());
    EXPECT_EQ(app.m_bmpSkin[4].size(), bmp.size());
}

TEST_F(ConfigurationTest, SecondInstanceDoesNotRunTheDialog) {
    CQuillonApp first, second;
    int runs = 0;
    first.InitInstance("1648,", [&](CQuillonApp& app) {
        ++runs;
        EXPECT_EQ(app.m_nModelCode, 0x1648u);
        EXPECT_EQ(second.InitInstance("", [&](CQuillonApp&) { ++runs; }), 0);
    });
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(first.ranDialog());
    EXPECT_FALSE(second.ranDialog());
}
