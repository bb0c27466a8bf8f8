// The window writing discs with the real writer on pseudo-drives: a schedule built and written,
// a write stopped with Cancel, and a writer error in the operator's words.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>

#include "DialogFixture.h"
#include "PseudoDrives.h"
#include "disc/BurnWriter.h"

namespace fs = std::filesystem;

namespace {

class DiscWindowTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        discs = prefix() + "/discs";
        fs::create_directories(discs);
        fs::create_directories(prefix() + "/disc_D");
    }
    void TearDown() override {
        dlg.reset();  // before the writer it uses
        DialogTest::TearDown();
    }
    CQuillonDlg& OpenWithWriter() {
        CQuillonDlg::Companions companions;
        companions.discWriter = &writer;
        dlg = std::make_unique<CQuillonDlg>(app, boxes, companions);
        boxes.context = &dlg->context();
        dlg->SetBaseFolder("C:\\base");
        EXPECT_TRUE(dlg->OnInitDialog());
        return *dlg;
    }
    void AddEntry(const QString& sm, const QString& em) {
        Range("10", sm, "10", em);
        Click(ctl::kSelectAll);
        Click(ctl::kAdd);
    }
    void ChooseDisc() {
        const std::string root = prefix() + "/disc_D";
        dlg->OnBrowseTarget(&root);
    }
    // Serves the window until a box with text was shown (bounded only against a hang).
    bool UntilBox(const std::string& text) {
        QElapsedTimer t;
        t.start();
        auto shown = [&] {
            for (const auto& b : boxes.shown)
                if (b.text == text)
                    return true;
            return false;
        };
        while (!shown() && t.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return shown();
    }
    std::string Disc(const char* key) { return app.GetLanguageText("CDWRITER", key); }

    std::string discs;
    disc::BurnWriter writer{[](std::function<void()> event) {
        QMetaObject::invokeMethod(qApp, std::move(event), Qt::QueuedConnection);
    }};
};

}  // namespace

TEST_F(DiscWindowTest, TheScheduleIsBuiltWrittenAndClearedWithTheDiscsWords) {
    MapPseudoDrive(prefix(), 'D', discs + "/dvd.iso", "dvd+rw");
    OpenWithWriter();
    AddEntry("00", "03");
    AddEntry("02", "05");
    ChooseDisc();
    ASSERT_EQ(ctx().m_target.kind, backup::TargetKind::kDisc);
    EXPECT_NE(ctx().m_target.text.find("(4482 MB)"), std::string::npos) << ctx().m_target.text;
    EXPECT_TRUE(W<QWidget>(ctl::kErase)->isVisibleTo(dlg.get()));  // DVD+RW
    EXPECT_GT(W<QComboBox>(ctl::kWriteSpeed)->count(), 1);
    Click(ctl::kOk);
    // Written, then read back against the image's manifest before the box says so.
    ASSERT_TRUE(UntilBox(Disc("A010011") + "\n" + app.GetLanguageText("BACKUP", "Q010011")))
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
    // Now it holds data: the next backup is told to erase first.
    AddEntry("06", "07");
    Click(ctl::kOk);
    EXPECT_EQ(LastBox(), Disc("A010016") + "\n" + Disc("A010018"));
}

TEST_F(DiscWindowTest, CancelStopsAWriteAndTheWindowIsIdleAgain) {
    mkrec::RecorderPlan plan;
    plan.root = "C:\\QorData";
    plan.days = {"20100601"};
    plan.firstMinute = 600;
    plan.lastMinute = 602;
    plan.cameras = 4;
    plan.fps = 10;
    plan.width = 352;
    plan.height = 240;
    mkrec::MakeRecordings(plan);
    MapPseudoDrive(prefix(), 'D', discs + "/dvd.iso", "dvd+rw");
    OpenWithWriter();
    ASSERT_EQ(ctx().m_day.date, "20100601");
    AddEntry("00", "02");
    ChooseDisc();
    auto* speeds = W<QComboBox>(ctl::kWriteSpeed);
    speeds->setCurrentIndex(speeds->count() - 1);  // the slowest: 1x
    Click(ctl::kOk);
    QElapsedTimer t;
    t.start();
    // Built, then written: wait for the writer's own percentage.
    auto writing = [&] {
        return ctx().m_disc.writing && W<QLabel>(ctl::kStatusLine)
                                           ->text()
                                           .startsWith(QString::fromStdString(Disc("A010015")));
    };
    while (!writing() && t.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(ctx().m_disc.writing, 1);
    boxes.answers = {IDYES};
    Click(ctl::kCancel);
    EXPECT_EQ(W<QLabel>(ctl::kStatusLine)->text().toStdString(), Disc("A010024"));
    ASSERT_TRUE(UntilBox(Disc("A010010")));
    EXPECT_EQ(ctx().m_disc.writing, 0);
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_EQ(Rows(ctl::kScheduleList).size(), 1);  // kept for another try
    EXPECT_TRUE(fs::exists(driveC() + "/QuillonTemp"));
}

TEST_F(DiscWindowTest, AWriterErrorIsShownInItsWordsAndTheWindowIsIdle) {
    MapPseudoDrive(prefix(), 'D', discs + "/gone/dvd.iso", "dvd+rw");
    fs::create_directories(discs + "/gone");
    OpenWithWriter();
    AddEntry("00", "01");
    ChooseDisc();
    // The disc's folder goes between the choice and the write: the drive cannot be opened.
    fs::remove_all(discs + "/gone");
    Click(ctl::kOk);
    ASSERT_TRUE(UntilBox("The drive is not ready")) << LastBox();
    EXPECT_NE(std::find_if(boxes.shown.begin(), boxes.shown.end(),
                           [&](const auto& b) { return b.text == Disc("A010020"); }),
              boxes.shown.end());
    EXPECT_EQ(ctx().m_disc.writing, 0);
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
}
