#include "platform/PrivateProfile.h"

#include "TestEnv.h"

using namespace platform;

class PrivateProfileTest : public TempPrefixTest {};

TEST_F(PrivateProfileTest, LookupRules) {
    const std::string file = driveC() + "/Language.eng";
    WriteText(file,
              "; comment\r\n[Backup]\r\nM010016=\r\n a0100 = Label one \r\nA0100=second wins?\r\n"
              "[BACKUP]\r\nA0200=from the second section\r\n[Other]\r\nA0100=other\r\n"
              "[S]\nK=" +
                  std::string(150, 'x') + "\n");
    // Section and key without regard to case, value trimmed, first match wins.
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "A0100", "", 100, file), "Label one");
    // Only the first section of a name is searched.
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "A0200", "def", 100, file), "def");
    // An empty value reads as length 0, like a missing key without a default.
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "M010016", "", 100, file), "");
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "nokey", "", 100, file), "");
    EXPECT_EQ(GetPrivateProfileString("NoSection", "A0100", "dflt", 100, file), "dflt");
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "A0100", "", 100, driveC() + "/missing.ini"), "");
    // The same file through its drive path, with the wrong case and a doubled separator.
    EXPECT_EQ(GetPrivateProfileString("Other", "A0100", "", 100, "C:\\\\LANGUAGE.ENG"), "other");
    // A value longer than the buffer is cut to fit it, with room for its end.
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 100, file), std::string(99, 'x'));
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 1, file), "");
}

TEST_F(PrivateProfileTest, ReadAfreshAndWrite) {
    const std::string file = "C:\\GUIS\\btn.pos";
    EXPECT_EQ(GetPrivateProfileInt("Count", "count", 7, file), 7u);
    ASSERT_TRUE(WritePrivateProfileString("Count", "count", "3", driveC() + "/btn.pos"));
    ASSERT_TRUE(WritePrivateProfileString("Files", "file1", "a.exe", driveC() + "/btn.pos"));
    ASSERT_TRUE(WritePrivateProfileString("count", "COUNT", "4", driveC() + "/btn.pos"));
    ASSERT_TRUE(WritePrivateProfileString("Count", "extra", JoinProfileList({"1", "2", "3"}),
                                          driveC() + "/btn.pos"));
    EXPECT_EQ(GetPrivateProfileInt("Count", "count", 0, "C:\\btn.pos"), 4u);
    EXPECT_EQ(GetPrivateProfileString("Count", "extra", "", 100, "C:\\btn.pos"), "1,2,3,");
    EXPECT_EQ(ReadText(driveC() + "/btn.pos"),
              "[Count]\r\ncount=4\r\nextra=1,2,3,\r\n[Files]\r\nfile1=a.exe\r\n");
    // Changed behind our back: the next lookup sees it.
    WriteText(driveC() + "/btn.pos", "[Count]\ncount=9\n");
    EXPECT_EQ(GetPrivateProfileInt("Count", "count", 0, "C:\\btn.pos"), 9u);
}

TEST_F(PrivateProfileTest, AByteOrderMarkIsNoPartOfTheFirstSection) {
    // As an editor saves a language file in UTF-8.
    const std::string file = driveC() + "/Language.eng";
    WriteText(file,
              "\xEF\xBB\xBF[BACKUP]\r\nM010014=The backup has been completed.\r\n"
              "[Common Quillon]\r\nDataSize KByte=%.0f KB\r\n");
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "M010014", "", 100, file),
              "The backup has been completed.");
    EXPECT_EQ(GetPrivateProfileString("Common Quillon", "DataSize KByte", "", 100, file),
              "%.0f KB");
    EXPECT_EQ(GetPrivateProfileSectionNames(file),
              (std::vector<std::string>{"BACKUP", "Common Quillon"}));
    // A write finds the first section too, rather than adding a second one of its name.
    ASSERT_TRUE(WritePrivateProfileString("backup", "M010015", "added", file));
    EXPECT_EQ(GetPrivateProfileString("BACKUP", "M010015", "", 100, file), "added");
    EXPECT_EQ(GetPrivateProfileSectionNames(file).size(), 2u);
}
