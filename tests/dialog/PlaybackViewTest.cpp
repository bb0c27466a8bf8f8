// The real playback component in the real window, over the generator's recordings.
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QTreeWidget>

#include "DialogFixture.h"
#include "controls/CxSkinButton.h"

class PlaybackViewTest : public DialogTest {
  protected:
    // The pixels of area that are not black, of every step-th row and column.
    static int NonBlack(const QImage& image, const QRect& area, int step = 2) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); y += step)
            for (int x = area.left(); x <= area.right(); x += step)
                count += (image.pixel(x, y) & 0xFFFFFF) != 0;
        return count;
    }
};

TEST_F(PlaybackViewTest, ACameraPlaysFromTheChosenMinuteAndTheCombosFollowIt) {
    OpenPlaying();
    CBackupPreviewDlg* preview = dlg->preview();
    QTreeWidget* days = preview->DayList();
    ASSERT_TRUE(Until([&] { return days->topLevelItemCount() == 2; }));
    EXPECT_EQ(preview->PictureArea(), player.get());
    // As a click on it loads it: the day highlighted is the backup day, and the preview stands
    // on its first picture, whose time it shows.
    auto* hour = preview->findChild<QComboBox*>(QString("c%1").arg(ctl::kPlayHour));
    EXPECT_EQ(days->indexOfTopLevelItem(days->currentItem()), 0);
    EXPECT_EQ(ctx().m_day.date, "20100523");
    EXPECT_TRUE(Until([&] { return player->shownCamera() == 0 && hour->currentIndex() == 10; }));

    // From 09:59, where nothing was recorded: the first picture is 10:00's, and the combos
    // move to it.
    ChoosePreview(ctl::kPlayCamera, 2);
    ChoosePreview(ctl::kPlayHour, 9);
    ChoosePreview(ctl::kPlayMinute, 59);
    preview->Button(ctl::kViewForward)->click();
    EXPECT_TRUE(player->isVisibleTo(preview));
    ASSERT_TRUE(Until([&] { return player->shownCamera() == 2 && player->picturesDrawn() >= 1; }));
    EXPECT_EQ(player->shownTime().left(5), "10:00");
    EXPECT_TRUE(player->playing());
    EXPECT_FALSE(preview->findChild<QWidget*>("c1132")->isEnabled());
    EXPECT_EQ(preview->findChild<QComboBox*>("c1132")->currentIndex(), 10);
    EXPECT_EQ(preview->findChild<QComboBox*>("c1133")->currentIndex(), 0);

    // Add stops it and frees the time combos.
    Range("10", "00", "10", "01");
    Click(ctl::kSelectAll);
    Click(ctl::kAdd);
    ASSERT_TRUE(Until([&] { return !player->playing(); }));
    EXPECT_TRUE(preview->findChild<QWidget*>("c1132")->isEnabled());
    EXPECT_EQ(Rows(ctl::kScheduleList).size(), 1);

    // A camera without pictures at the minute clears the picture shown before and says so.
    ChoosePreview(ctl::kPlayCamera, 4);
    ChoosePreview(ctl::kPlayMinute, 35);
    preview->Button(ctl::kViewForward)->click();
    ASSERT_TRUE(Until([&] { return player->notice() == "Camera 5 has no pictures from 10:35."; }));
    EXPECT_EQ(player->shownCamera(), -1);
    const QImage window = dlg->grab().toImage();
    ASSERT_TRUE(window.save(QUILLON_ARTEFACT_DIR "/preview-cleared.png"));
    // Above the notice's line only black stays: no picture, no "Camera 3" caption.
    const QRect area(player->mapTo(dlg.get(), QPoint(0, 0)),
                     QSize(player->width(), player->height() * 3 / 4));
    EXPECT_EQ(NonBlack(window, area, 1), 0);
}

// Under a virtual X server (the "screens" test runs this program so): the window while a camera
// plays, and a playback button under the pointer, kept as pictures beside the build.
class ScreensTest : public PlaybackViewTest {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "runs under the virtual X server only";
        PlaybackViewTest::SetUp();
        mkrec::MakeRecordings({.root = "C:\\QorData",
                               .days = {"20101105"},
                               .firstMinute = 600,
                               .lastMinute = 602,
                               .cameras = 16,
                               .fps = 5,
                               .width = 352,
                               .height = 240});
    }
};

TEST_F(ScreensTest, TheWindowWhileACameraPlaysAndAButtonUnderThePointer) {
    OpenPlaying();
    CBackupPreviewDlg* preview = dlg->preview();
    ASSERT_TRUE(Until([&] { return preview->DayList()->topLevelItemCount() == 3; }));
    // Two entries in the schedule, as an operator would have them.
    Range("10", "00", "10", "01");
    Click(ctl::kSelectAll);
    Click(ctl::kAdd);
    Range("10", "01", "10", "02");
    Click(ctl::kFirstCameraBox + 2);
    Click(ctl::kAdd);
    ChoosePreview(ctl::kPlayCamera, 2);
    ChoosePreview(ctl::kPlayHour, 10);
    ChoosePreview(ctl::kPlayMinute, 0);
    preview->Button(ctl::kViewForward)->click();
    ASSERT_TRUE(Until([&] { return player->shownCamera() == 2 && player->picturesDrawn() >= 12; }));
    const QImage playing = dlg->grab().toImage();
    ASSERT_TRUE(playing.save(QUILLON_ARTEFACT_DIR "/preview-playing.png"));
    const QRect area(player->mapTo(dlg.get(), QPoint(0, 0)), player->size());
    EXPECT_GT(NonBlack(playing, area), area.width() * area.height() / 4 / 4);  // a picture shows
    EXPECT_EQ(Rows(ctl::kScheduleList).size(), 2);

    preview->Button(ctl::kViewStop)->click();
    CxSkinButton* forward = preview->Button(ctl::kViewForward);
    const QRect button(forward->mapTo(dlg.get(), QPoint(0, 0)), forward->size());
    const QImage before = dlg->grab().toImage().copy(button);
    QCursor::setPos(forward->mapToGlobal(QPoint(20, 15)));
    ASSERT_TRUE(Until([&] { return forward->mouseOver(); }));
    const QImage hovered = dlg->grab().toImage();
    ASSERT_TRUE(hovered.save(QUILLON_ARTEFACT_DIR "/preview-hover.png"));
    EXPECT_NE(hovered.copy(button), before);
}
