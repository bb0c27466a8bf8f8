// The disc capacity bar: the used and planned space the core tells drawn in their colours, with
// its text, and the text progress bar's own drawing decisions.
#include <QApplication>
#include <QImage>

#include "DialogFixture.h"
#include "FakeDiscWriter.h"
#include "controls/CTextProgressCtrl.h"

namespace {

// The colour drawn at a fraction of the bar's width, halfway down.
QColor At(CTextProgressCtrl* bar, double fraction) {
    const QImage image = bar->grab().toImage();
    return image.pixelColor(static_cast<int>(image.width() * fraction), 2);
}

class CountingBar : public CTextProgressCtrl {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* e) override { ++paints, CTextProgressCtrl::paintEvent(e); }
};

}  // namespace

// The figures are the core's, tested there; the bar draws them in their colours.
TEST_F(DialogTest, TheCapacityBarDrawsTheUsedAndPlannedSpaceItIsTold) {
    FakeDiscWriter disc;  // 700 MB, rewritable
    Open({.discWriter = &disc});
    auto* bar = W<CTextProgressCtrl>(ctl::kCapacityBar);
    bar->resize(200, 20);
    disc.freeMB = 350;  // 350 MB of 700 used, 175 MB planned
    ctx().m_schedule.totalKB = 175 * 1024;
    ctx().m_targets.TellDiscSpace(true);
    EXPECT_TRUE(bar->isVisibleTo(dlg.get()));
    EXPECT_EQ(bar->pos(), 50);
    EXPECT_EQ(bar->pos2(), 75);
    EXPECT_TRUE(bar->ShownText().endsWith(" : 350M")) << bar->ShownText().toStdString();
    EXPECT_EQ(At(bar, 0.25), QColor(255, 192, 255));               // used
    EXPECT_EQ(At(bar, 0.6), QColor(64, 192, 128));                 // planned
    EXPECT_EQ(At(bar, 0.999), QColor(192, 255, 255));              // free
    EXPECT_TRUE(W<QWidget>(ctl::kErase)->isVisibleTo(dlg.get()));  // media 3 is rewritable
    ctx().m_targets.TellDiscSpace(false);
    EXPECT_FALSE(bar->isVisibleTo(dlg.get()));
    EXPECT_FALSE(W<QWidget>(ctl::kErase)->isVisibleTo(dlg.get()));
    dlg.reset();  // before the writer it uses
}

TEST(TextProgressTest, EmptyRangesPercentagesAndRepaints) {
    CountingBar bar;
    bar.resize(100, 20);
    bar.show();
    QApplication::processEvents();  // shown on the screen, so that a repaint paints
    EXPECT_EQ(bar.ShownText(), "0%");
    bar.SetPos(37);
    EXPECT_EQ(bar.ShownText(), "37%");
    EXPECT_EQ(bar.BarEnd(100), 37);
    bar.SetPos(100);
    EXPECT_EQ(bar.BarEnd(100), 100);

    // An empty range draws nothing and divides by nothing.
    bar.SetRange(5, 5);
    EXPECT_EQ(bar.SetPos(5), 100);
    EXPECT_EQ(bar.BarEnd(100), 0);
    bar.SetRange2(100, 100);
    bar.SetPos2(100);
    bar.grab();  // paints without failing
    bar.SetRange(0, 100);

    // The same pixel twice repaints once; a resize makes the next position repaint again.
    bar.SetPos(10);
    const int painted = bar.paints;
    bar.SetPos(10);
    EXPECT_EQ(bar.paints, painted);
    bar.resize(120, 20);
    bar.SetPos(10);  // 12 pixels now, and the last pixel was forgotten
    EXPECT_GT(bar.paints, painted);
    EXPECT_TRUE(bar.SetShowText(false));
    EXPECT_FALSE(bar.SetShowText(true));
}
