// A folder target the host names with its message (0x8002) rather than one picked in the folder
// browser: made when the backup starts, or refused before anything starts.
#include <QApplication>

#include "DialogFixture.h"
#include "backup/HostMessages.h"

namespace fs = std::filesystem;

class TargetFolderTest : public DialogTest {
  protected:
    void HostChooses(const std::string& hostFolder) {
        platform::BusMessage m;
        m.message = kMsgChooseTarget;
        m.data = hostFolder;
        dlg->OnBusMessage(m);
    }
};

TEST_F(TargetFolderTest, AFolderTheHostNamesIsMadeWhenTheBackupStartsOrRefusedBefore) {
    const std::string usb = MapDrive('E', "removable");
    Open();
    Range("10", "01", "10", "02");
    Click(ctl::kSelectAll);
    Click(ctl::kAdd);

    WriteText(usb + "/taken", "a file where the folder would go");
    HostChooses(usb + "/taken/Backup");
    Click(ctl::kOk);
    EXPECT_EQ(LastBox().rfind(Text("M010032"), 0), 0u) << LastBox();
    EXPECT_EQ(ctx().m_run.running, 0);
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());

    HostChooses(usb + "/From/Host");
    const std::size_t before = boxes.shown.size();
    Click(ctl::kOk);
    while (boxes.shown.size() == before)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(LastBox(), Text("M010014"));
    EXPECT_TRUE(fs::exists(usb + "/From/Host/2010_05_23=10,01~10,02/20100523/201005231002N.idx"));
}
