// The window writing a disc with the real writer on a pseudo-drive: a schedule built, written,
// read back and cleared, with the disc's words.
#include <QComboBox>

#include "DialogFixture.h"
#include "PseudoDrives.h"
#include "disc/BurnWriter.h"

namespace fs = std::filesystem;

// The writer outlives the window, which TearDown closes first.
class DiscWindowTest : public DialogTest {
  protected:
    disc::BurnWriter writer{[](std::function<void()> event) {
        QMetaObject::invokeMethod(qApp, std::move(event), Qt::QueuedConnection);
    }};
};

TEST_F(DiscWindowTest, TheScheduleIsBuiltWrittenAndClearedWithTheDiscsWords) {
    const std::string discs = prefix() + "/discs", root = prefix() + "/disc_D";
    fs::create_directories(discs);
    fs::create_directories(root);
    MapPseudoDrive(prefix(), 'D', discs + "/dvd.iso", "dvd+rw");
    Open({.discWriter = &writer});
    AddEntry("00", "03");
    AddEntry("02", "05");
    dlg->OnBrowseTarget(&root);
    ASSERT_EQ(ctx().m_target.kind, backup::TargetKind::kDisc);
    EXPECT_NE(ctx().m_target.text.find("(4482 MB)"), std::string::npos) << ctx().m_target.text;
    EXPECT_TRUE(W<QWidget>(ctl::kErase)->isVisibleTo(dlg.get()));  // DVD+RW
    EXPECT_GT(W<QComboBox>(ctl::kWriteSpeed)->count(), 1);
    Click(ctl::kOk);
    // Written, then read back against the image's manifest before the box says so.
    ASSERT_TRUE(UntilBox(DiscText("A010011") + "\n" + app.GetLanguageText("BACKUP", "Q010011")))
        << LastBox();
    EXPECT_EQ(ctx().m_disc.writing, 0);
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_FALSE(fs::exists(driveC() + "/QuillonTemp"));
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
    EXPECT_EQ(VolumeId(discs + "/dvd.iso"), "QORBACKUP");
    ASSERT_TRUE(ExtractIso(discs + "/dvd.iso", prefix() + "/read"));
    EXPECT_TRUE(fs::exists(prefix() + "/read/2010_05_23=10,00~10,03/20100523/201005231003N.dat"));
    EXPECT_TRUE(fs::exists(prefix() + "/read/2010_05_23=10,02~10,05/20100523/BackupInfo.dat"));
}
