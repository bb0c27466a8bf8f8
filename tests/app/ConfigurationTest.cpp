// The application's settings: its language texts, fonts, registry values and skin, the date
// types, and the recorder's command line.
#include <sstream>

#include "TestEnv.h"
#include "app/CConvertDateType.h"
#include "app/CHKLM.h"
#include "app/CProfileReadWrite.h"
#include "app/CQuillonApp.h"
#include "app/LaunchParameters.h"
#include "platform/Registry.h"

class ConfigurationTest : public TempPrefixTest {};

TEST_F(ConfigurationTest, LanguageTextFallsBackToTheKey) {
    CQuillonApp app;
    app.m_strExePath = "C:\\Backup\\";
    app.m_strLanguage = "eng";
    EXPECT_EQ(app.GetLanguageText("BACKUP", "A010007"), "A010007");  // no file yet
    WriteText(driveC() + "/Backup/Language.eng",
              "[BACKUP]\nA010007=Start\nM010016=\nM010017=" + std::string(150, 'm') + "\n");
    EXPECT_EQ(app.GetLanguageText("BACKUP", "A010007"), "Start");
    EXPECT_EQ(app.GetLanguageText("BACKUP", "M010016"), "M010016");  // an empty text is none
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

TEST_F(ConfigurationTest, StoragePathCreatesKeysAndReadsValueOrGivesTheDefault) {
    EXPECT_EQ(GetStoragePath(), "c:\\QorData");
    platform::RegistryHive hive;
    EXPECT_TRUE(hive.OpenKey("Software\\VIRERURO\\CONFIG\\RECINFO"));
    ASSERT_TRUE(hive.SetValue("Software\\VIRERURO\\CONFIG\\RECINFO", "StoragePath", "D:\\Rec"));
    EXPECT_EQ(GetStoragePath(), "D:\\Rec");
    CHKLM other;
    EXPECT_EQ(other.m_strRegistryKey, "DVRSETUP");
    EXPECT_EQ(other.GetProfileString("RECINFO", "StoragePath", "none"), "none");

    // A hive that cannot be written gives the default.
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
    for (std::size_t i = 0; i < 5; ++i)  // the two bitmaps load; the text and the missing do not
        EXPECT_EQ(app.m_bmpSkin[i].size(), i == 0 || i == 4 ? bmp.size() : 0u) << i;
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

TEST(ConvertDateTypeTest, AllNineTypesBothWaysAndNoneOutOfRange) {
    const char* displays[9] = {"2010-03-15", "15-03-2010", "03-15-2010", "2010/03/15", "15/03/2010",
                               "03/15/2010", "2010.03.15", "15.03.2010", "03.15.2010"};
    CConvertDateType c;
    for (unsigned t = 0; t < 9; ++t) {
        EXPECT_EQ(c.DateToDisplay("2010-03-15", t), displays[t]) << t;
        EXPECT_EQ(c.DisplayToDate(displays[t], t), "20100315") << t;
    }
    // Out of range and of the wrong length.
    EXPECT_EQ(c.DateToDisplay("2010-03-15", 12), "2010-03-15");
    EXPECT_EQ(c.DateToDisplay("2010_03_15", 4), "15/03/2010");  // separators are not examined
    EXPECT_EQ(c.DisplayToDate("15.03.2010", 4), "20100315");
    EXPECT_EQ(c.DisplayToDate("2010-03-15", 9), "");
    EXPECT_EQ(c.DateToDisplay("20100315", 0), "");
    EXPECT_EQ(c.DisplayToDate("20100315", 0), "");
}

namespace {

// Every field in declaration order, hex parameters in hex, so that a case states them all.
std::string Fields(const std::string& commandLine) {
    const LaunchParameters p = ParseLaunchParameters(commandLine);
    std::ostringstream o;
    o << p.m_bUseDrives << " '" << p.m_strLanguage << "' '" << p.m_strServerAddress << "' "
      << std::hex << p.m_nModelCode << std::dec << " " << p.m_nChannelsPerUnit << " "
      << p.m_nUnitCount << " " << p.m_nLaunchKind << " " << p.m_nPort << " " << p.m_bOptionQ << " '"
      << p.m_strDeviceName << "' " << std::hex << p.m_dwHexParam1 << " " << p.m_dwHexParam2 << " "
      << p.m_dwHexParam3 << " " << p.m_dwHexParam4 << std::dec << " " << p.m_bTodayLimit << " "
      << std::hex << p.m_dwHexParam5 << std::dec << " " << p.m_bColorFormat;
    return o.str();
}

}  // namespace

TEST(LaunchParametersTest, EachFieldIsReadAsTheRecorderWritesItAndAMissingOneKeepsItsDefault) {
    const std::pair<const char*, const char*> cases[] = {
        // An empty command line sets only the language.
        {"", "1 'eng' '' 0 16 1 0 0 0 '' 0 0 0 0 0 0 1"},
        {"1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F,",
         "0 'kor' '10.0.0.5' 1648a 16 1 1 7004 1 'Nvr' 0 0 0 0 1 0 0"},
        // Without the last comma the seventeenth field is never read; after it, text is ignored.
        {"1648A,16,1,N,10.0.0.5,7004,kor,Q,Nvr,T,0,0,0,0,0,RGB,F",
         "1 'kor' '10.0.0.5' 1648a 16 1 1 7004 1 'Nvr' 0 0 0 0 1 0 0"},
        {"1,2,3,B,a,5,x,Q,d,T,1,2,3,4,5,RGB,F,tail,", "0 'x' 'a' 1 2 3 2 5 1 'd' 1 2 3 4 1 5 0"},
        // A missing comma makes every later field missing: the 32 is never read.
        {"1648,32", "1 'eng' '' 1648 16 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        // Empty fields give zero, not the missing value.
        {",,,,,,,", "1 '' '' 0 0 0 0 0 0 'Dvr' 0 0 0 0 0 0 1"},
        // Flags are case sensitive; numbers read as atoi and strtoul do (a minus sign wraps).
        {"0,1,1,B,", "1 'eng' '' 0 1 1 2 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0,1,1,b,", "1 'eng' '' 0 1 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0,1,1,NN,", "1 'eng' '' 0 1 1 0 7004 0 'Dvr' 0 0 0 0 0 0 1"},
        {"0x1f,12ab,1,N,,80,eng,q,,t,ff,0X10,zz,7g,-1,rgb,f,",
         "1 'eng' '' 1f 12 1 1 80 0 '' ff 10 0 7 0 ffffffff 1"},
    };
    for (const auto& [line, fields] : cases)
        EXPECT_EQ(Fields(line), fields) << line;
}
