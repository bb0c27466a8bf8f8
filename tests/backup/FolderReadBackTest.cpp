// A disc written from a folder that is no image counts as written only when it reads back as
// that folder: each file there with its bytes, and nothing more.
#include <filesystem>

#include <gmock/gmock.h>

#include "TestEnv.h"
#include "backup/disc/FolderReadBack.h"
#include "integrity/ImageFiles.h"

using testing::HasSubstr;

class FolderReadBackTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        written = prefix() + "/written";
        disc = prefix() + "/disc";
        for (const std::string& root : {written, disc}) {
            WriteText(root + "/Img.tar.age", std::string(70000, 'x'));
            WriteText(root + "/README.txt", "how to open it\n");
            WriteText(root + "/BackupViewer/index.html", "<html>");
        }
    }
    std::string Check() {
        backup::FolderReadBack check(written);
        const std::unique_ptr<integrity::ImageFiles> read = integrity::OpenFolderImage(disc);
        long long last = 0, total = 0;
        const std::string found = check.Check(*read, [&](long long done, long long of) {
            EXPECT_GE(done, last);
            last = done;
            total = of;
        });
        if (found.empty()) {
            EXPECT_EQ(last, total);
        }
        return found;
    }
    std::string written, disc;
};

TEST_F(FolderReadBackTest, TheDiscMustHoldEachFileWithItsBytesAndNothingElse) {
    EXPECT_EQ(Check(), "");
    std::string bytes = ReadText(disc + "/Img.tar.age");
    bytes[65536] ^= 1;
    WriteText(disc + "/Img.tar.age", bytes);
    EXPECT_THAT(Check(), HasSubstr("Img.tar.age differs on the disc"));
    WriteText(disc + "/Img.tar.age", ReadText(written + "/Img.tar.age"));
    std::filesystem::remove(disc + "/BackupViewer/index.html");
    EXPECT_THAT(Check(), HasSubstr("BackupViewer/index.html is missing on the disc"));
    WriteText(disc + "/BackupViewer/index.html", "<html>");
    WriteText(disc + "/stray.txt", "");
    EXPECT_THAT(Check(), HasSubstr("stray.txt is on the disc but was not written"));
}
