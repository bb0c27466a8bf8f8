// What the operator sees of the window and what a host reads off it; the pictures of the window
// are kept in artefacts/ of the build.
#include <QApplication>
#include <QLayout>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>

#include "DialogFixture.h"
#include "mkicon/QuillonIcon.h"

namespace fs = std::filesystem;

class OperatorWindowTest : public DialogTest {
  protected:
    // A query as quillon-host sends it; its way over the bus is the host's end-to-end test.
    platform::BusReply Query(int id) { return Send(platform::kMsgQueryControl, id); }
};

// The folder backup from Start to its end, with the stop question open meanwhile.
TEST_F(OperatorWindowTest, TheStopQuestionSaysYesStopsAndClosesWhenThePassEndsFirst) {
    const std::string target = MapDrive('E', "removable") + "/Backup";
    fs::create_directories(target);
    QtMessageBoxes questions;  // real ones, open while the pass goes on
    boxes.real = &questions;
    Open();
    AddEntry("00", "03");
    dlg->OnBrowseTarget(&target);

    // While the question is open the copy goes on; a question still open once the pass ended
    // would be answered Yes here, late.
    bool askedWhileRunning = false, staleOpen = false;
    QTimer watch;
    watch.callOnTimeout([&] {
        auto* box = dlg->findChild<QMessageBox*>();
        if (!box || !box->isVisible())
            return;
        if (dlg->view().controlsState() == 0 && !askedWhileRunning) {
            askedWhileRunning = true;
            QImage shot(dlg->size(), QImage::Format_ARGB32);
            dlg->render(&shot);
            box->render(&shot, QPoint((dlg->width() - box->width()) / 2,
                                      (dlg->height() - box->height()) / 2));
            shot.save(QUILLON_ARTEFACT_DIR "/stop-question.png");
        } else if (dlg->view().controlsState() == 1) {
            staleOpen = true;
            box->button(QMessageBox::Yes)->click();
        }
    });
    watch.start(1);
    // The worker waits for the window from its first step, so the question opens while the
    // pass runs.
    Click(ctl::kOk);
    EXPECT_FALSE(W<QWidget>(ctl::kAdd)->isEnabled());  // busy
    EXPECT_EQ(W<QAbstractButton>(ctl::kCancel)->text().remove('&'),
              QString::fromStdString(Text("A010018")));
    Click(ctl::kCancel);
    ASSERT_TRUE(UntilBox(Text("M010014")));
    watch.stop();

    std::vector<std::string> asked;
    for (const auto& shown : boxes.shown)
        if (shown.type & MB_YESNO)
            asked.push_back(shown.text);
    ASSERT_EQ(asked.size(), 1u);
    const std::string question = asked[0];
    // Yes means stop, said so; "go on" would read as going on with the backup. The erase
    // question shares the second line.
    EXPECT_NE(question.find("Stop it?"), std::string::npos) << question;
    EXPECT_NE(question.find("stay in the schedule"), std::string::npos) << question;
    for (const std::string& q : {question, Text("M010025") + "  " + Text("M010026")})
        EXPECT_EQ(q.find("go on"), std::string::npos) << q;

    EXPECT_TRUE(askedWhileRunning);
    EXPECT_FALSE(staleOpen) << "the question stayed open after the pass ended";
    EXPECT_FALSE(ctx().m_run.report.stopped());
    EXPECT_TRUE(fs::exists(target + "/2010_05_23=10,00~10,03/20100523/201005231003N.idx"));
    EXPECT_TRUE(Rows(ctl::kScheduleList).isEmpty());  // the schedule is cleared
    EXPECT_TRUE(W<QWidget>(ctl::kAdd)->isEnabled());
    EXPECT_FALSE(fs::exists(base + "/Reserved"));
}

TEST_F(OperatorWindowTest, TheBusQuerySeesThePreviewsControlsAndOnlyWhatAControlIs) {
    Open();
    ASSERT_TRUE(Until([&] { return dlg->preview()->DayList()->topLevelItemCount() == 2; }));
    // The preview's day list, built after the window's own controls.
    const auto days = Query(ctl::kDayList);
    EXPECT_EQ(days.data, "2010-05-23\n2010-05-22");
    EXPECT_EQ(days.result, dlg->preview()->DayList()->indexOfTopLevelItem(
                               dlg->preview()->DayList()->currentItem()));
    EXPECT_EQ(Query(ctl::kPlayHour).data.substr(0, 6), "00\n01\n");
    // Controls without rows: enabled and visible in bits 32 and 33, nothing else.
    const auto start = Query(ctl::kOk);
    EXPECT_EQ(start.data, "Start");
    EXPECT_EQ(start.result, (std::int64_t{1} << 32) | (std::int64_t{1} << 33));
    const auto progress = Query(ctl::kProgress);  // hidden until a pass runs
    EXPECT_EQ(progress.result, std::int64_t{1} << 32);
    EXPECT_EQ(Query(4242).result, 0);
}

TEST_F(OperatorWindowTest, TheWindowKeepsItsSizeAndCarriesItsOwnIcon) {
    Open();
    QApplication::processEvents();
    const QSize size = dlg->size();
    auto at = [&](int id) { return W<QWidget>(id)->mapTo(dlg.get(), QPoint(0, 0)); };
    const QPoint start = at(ctl::kOk), close = at(ctl::kCancel);
    // What the start of a pass shows, as the core shows it.
    dlg->view().ShowItem(ctl::kStatusLine, true);
    dlg->view().ShowItem(ctl::kProgress, true);
    QApplication::processEvents();
    dlg->layout()->activate();
    EXPECT_EQ(dlg->size(), size);
    EXPECT_EQ(at(ctl::kOk), start);
    EXPECT_EQ(at(ctl::kCancel), close);
    EXPECT_TRUE(W<QWidget>(ctl::kProgress)->isVisibleTo(dlg.get()));

    // The icon quillon-mkicon draws, not one of the style's.
    for (int px : {16, 32, 48}) {
        const QImage shown = dlg->windowIcon().pixmap(px).toImage().convertToFormat(
            QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(shown, mkicon::DrawIcon(px)) << px;
    }
}
