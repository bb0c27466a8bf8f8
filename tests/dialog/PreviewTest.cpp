// The preview as the operator drives it, over a playback component that records its calls, and
// its rules without a window: day labels, the days listed, what the player is given.
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>
#include <algorithm>

#include "FakeSearch.h"
#include "TestEnv.h"
#include "app/CConvertDateType.h"
#include "backup/BackupContext.h"
#include "backup/RecordingOperatorView.h"
#include "controls/CxSkinButton.h"
#include "preview/CBackupPreviewDlg.h"
#include "preview/PlaybackChoices.h"
#include "preview/PreviewDays.h"

namespace {

using Texts = std::vector<std::string>;

class PreviewTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        UseBuiltLanguage(app);
        app.LoadSkinBitmaps();
        ctx.m_day.date = "20100523";
    }
    CBackupPreviewDlg& Open(int dateType = 0) {
        ctx.m_host.dateType = dateType;
        preview = std::make_unique<CBackupPreviewDlg>(app, session, &search);
        preview->SetDayPicked([this](const std::string& label) { picked.push_back(label); });
        preview->OnInitDialog();
        return *preview;
    }
    QStringList Labels() {
        QStringList out;
        for (int i = 0; i < preview->DayList()->topLevelItemCount(); ++i)
            out << preview->DayList()->topLevelItem(i)->text(0);
        return out;
    }
    template <class T>
    T* W(int id) {
        return preview->findChild<T*>(QString("c%1").arg(id));
    }
    void Choose(int id, int row) {
        W<QComboBox>(id)->setCurrentIndex(row);
        emit W<QComboBox>(id)->activated(row);
    }
    void Click(int id) { preview->Button(id)->click(); }

    CQuillonApp app;
    backup::RecordingOperatorView view;
    backup::Session session{app, view};
    BackupContext& ctx = session.Parts();
    FakeSearch search;
    std::unique_ptr<CBackupPreviewDlg> preview;
    std::vector<std::string> picked;
};

}  // namespace

TEST_F(PreviewTest, StartsInItsOrderWithTheSkinTheLabelsAndTheCombos) {
    Open();
    EXPECT_EQ(search.Take(), (Texts{"Init 0 16  0 22001", "SearchCam", "OneChannel 0", "Zoom 4"}));
    EXPECT_EQ(search.windowStart, search.now - 86400);
    EXPECT_FALSE(preview->PictureArea()->isVisibleTo(preview.get()));
    EXPECT_EQ(W<QComboBox>(ctl::kPlayCamera)->count(), 64);
    EXPECT_EQ(W<QComboBox>(ctl::kPlayHour)->itemText(23), "23");
    EXPECT_EQ(W<QComboBox>(ctl::kPlayMinute)->count(), 60);
    EXPECT_EQ(W<QLabel>(ctl::kPlayMinuteCaption)->text(), "Min");
    EXPECT_FALSE(W<QWidget>(ctl::kSpeedSlider)->isVisibleTo(preview.get()));
    CxSkinButton* stop = preview->Button(ctl::kViewStop);
    EXPECT_EQ(stop->toolTip(), "Stop");
    EXPECT_EQ(stop->cutRect(), QRect(120, 0, 40, 30));
    EXPECT_TRUE(stop->text().isEmpty());  // images only
    EXPECT_EQ(preview->PreviewRect(), QRect(0, 0, 400, 480));

    ctx.m_host.localMode = 0;
    ctx.m_host.serverAddress = "10.0.0.7";
    ctx.m_host.port = 7004;
    Open();
    EXPECT_EQ(search.Take().front(), "Init 1 16 10.0.0.7 7002 22001");
}

TEST_F(PreviewTest, DaysNewestFirstInEachDateTypeAndWithinTheTodayLimit) {
    // In the day-first date type: each day's label is the date type's own, where it is tested.
    search.days = {"2010-05-22", "2010-05-23", "2010-05-21"};
    Open(4);
    preview->OnSearchNotify(kSearchDayListReady, {});
    EXPECT_EQ(Labels(), (QStringList{"23/05/2010", "22/05/2010", "21/05/2010"}));
    EXPECT_EQ(preview->ListedDates().size(), 3);
    // The newest is picked: its index loaded, it is the backup day, and it starts as a click on
    // it starts it.
    const auto calls = search.Take();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 4, calls.end()),
              (Texts{"DayIndex 2010-05-23", "Stop", "Return", "Latest 0 0 0 0"}));
    EXPECT_EQ(picked, Texts{"23/05/2010"});

    // The today limit lists the days from the window start's day on; none left, none picked.
    app.m_bTodayLimit = 1;
    for (const auto& [start, listed] :
         {std::pair{1274608800 - 86400, QStringList{"2010-05-23", "2010-05-22"}},  // 05-22 10:00
          std::pair{1274608800 + 86400, QStringList{}}}) {
        picked.clear();
        Open();
        EXPECT_TRUE(search.todayLimit);
        search.windowStart = start;
        preview->OnSearchNotify(kSearchDayListReady, {});
        EXPECT_EQ(Labels(), listed);
        EXPECT_EQ(picked.empty(), listed.isEmpty());
    }
}

TEST_F(PreviewTest, TheButtonsPlayStepAndStopFromTheChosenTimeAndLockIt) {
    Open();
    search.Take();
    Choose(ctl::kPlayHour, 10);
    Choose(ctl::kPlayMinute, 1);
    EXPECT_EQ(search.Take(), (Texts{"Latest 10 0 0 0", "Latest 10 1 0 0"}));

    Click(ctl::kViewForward);
    EXPECT_TRUE(preview->PictureArea()->isVisibleTo(preview.get()));
    EXPECT_EQ(search.Take(), (Texts{"Forward 0 2010 5 23 10 1", "Zoom 4"}));
    EXPECT_FALSE(W<QWidget>(ctl::kPlayHour)->isEnabled());
    EXPECT_FALSE(W<QWidget>(ctl::kPlayMinute)->isEnabled());
    // The component's pictures move the combos along (fields 5 and 6: hour and minute).
    preview->OnSearchNotify(kSearchPictureTime, {2010, 5, 23, 0, 10, 2, 17});
    EXPECT_EQ(W<QComboBox>(ctl::kPlayMinute)->currentIndex(), 2);
    Click(ctl::kViewStop);
    EXPECT_EQ(search.Take(), Texts{"Stop"});
    EXPECT_TRUE(W<QWidget>(ctl::kPlayHour)->isEnabled());

    Click(ctl::kViewReverse);
    Click(ctl::kViewNext);
    Click(ctl::kViewPrevious);
    EXPECT_EQ(search.Take(), (Texts{"Backward 0 2010 5 23 10 2", "Zoom 4", "Next 0 2010 5 23 10 2",
                                    "Zoom 4", "Previous 0 2010 5 23 10 2", "Zoom 4"}));
    Click(ctl::kViewLast);
    EXPECT_EQ(W<QComboBox>(ctl::kPlayHour)->currentIndex(), 23);
    EXPECT_EQ(W<QComboBox>(ctl::kPlayMinute)->currentIndex(), 59);
    Click(ctl::kViewFirst);
    EXPECT_EQ(W<QComboBox>(ctl::kPlayHour)->currentIndex(), 0);
    EXPECT_EQ(search.Take(), (Texts{"EndFrame", "Return"}));

    // A step the component answers as not playable asks nothing more.
    search.answers = {0};
    Click(ctl::kViewNext);
    EXPECT_TRUE(search.Take().empty());
}

TEST_F(PreviewTest, OutsideTheWindowPlaysFromItsEdgeOrNothingButStillLocks) {
    Open();
    search.now = 1274608800;  // 2010-05-23 10:00 UTC
    search.windowStart = search.now - 86400 + 17 * 60;
    search.Take();
    search.answers = {2};  // before the window: forward plays from its start
    Click(ctl::kViewForward);
    EXPECT_EQ(search.Take(), (Texts{"Forward 0 2010 5 23 10 17", "Zoom 4"}));
    EXPECT_EQ(W<QComboBox>(ctl::kPlayMinute)->currentIndex(), 17);
    Click(ctl::kViewStop);
    search.Take();
    search.answers = {3};  // after now: backward plays from now
    Click(ctl::kViewReverse);
    EXPECT_EQ(search.Take(), (Texts{"Backward 0 2010 5 23 10 0", "Zoom 4"}));
    Click(ctl::kViewStop);
    search.Take();
    search.answers = {2};  // before the window, backward: nothing, yet locked until Stop
    Click(ctl::kViewReverse);
    EXPECT_TRUE(search.Take().empty());
    EXPECT_FALSE(W<QWidget>(ctl::kPlayHour)->isEnabled());
    // A day label longer than a day key plays nothing and locks nothing.
    Click(ctl::kViewStop);
    search.Take();
    ctx.m_day.date = "2010-05-23";
    Click(ctl::kViewForward);
    EXPECT_TRUE(search.Take().empty());
    EXPECT_TRUE(W<QWidget>(ctl::kPlayHour)->isEnabled());
}

TEST_F(PreviewTest, CameraSpeedDayClicksAndTheControlsState) {
    search.days = {"2010-05-22", "2010-05-23"};
    Open();
    preview->OnSearchNotify(kSearchDayListReady, {});
    search.Take();
    Choose(ctl::kPlayCamera, 2);
    EXPECT_EQ(search.Take(), (Texts{"Stop", "SearchCam", "OneChannel 2"}));
    EXPECT_EQ(search.cams.value[18], 1u);
    EXPECT_EQ(std::count(std::begin(search.cams.value), std::end(search.cams.value), 1u), 1);

    preview->OnSpeedMessage(ctl::kSpeedSlider, 0);
    preview->OnSpeedMessage(ctl::kSpeedSlider, 10);
    preview->OnSpeedMessage(ctl::kSpeedSlider, 0x70005);  // only the low word counts
    preview->OnSpeedMessage(1234, 0);
    EXPECT_EQ(search.Take(), (Texts{"Speed 5 2", "Speed 5 1", "Speed 0 0"}));

    // Another day: loaded, the backup day, and playing starts again at 00:00.
    Choose(ctl::kPlayHour, 5);
    search.Take();
    preview->OnDateListClick(1);
    EXPECT_EQ(search.Take(), (Texts{"DayIndex 2010-05-22", "Stop", "Return", "Latest 0 0 0 0"}));
    EXPECT_EQ(picked.back(), "2010-05-22");
    EXPECT_EQ(W<QComboBox>(ctl::kPlayHour)->currentIndex(), 0);
    // The same day again reloads it without stopping; below the last row nothing happens.
    preview->OnDateListClick(1);
    preview->OnDateListClick(-1);
    preview->OnDateListClick(2);
    EXPECT_EQ(search.Take(), Texts{"DayIndex 2010-05-22"});

    preview->SetPreviewControlsState(0);
    for (int id :
         {ctl::kViewFirst, ctl::kViewStop, ctl::kPlayCamera, ctl::kDayList, ctl::kPlayHour})
        EXPECT_FALSE(preview->findChild<QWidget*>(QString("c%1").arg(id))->isEnabled()) << id;
    preview->SetPreviewControlsState(1);
    EXPECT_TRUE(preview->Button(ctl::kViewLast)->isEnabled());
}

TEST(PreviewRulesTest, ADayLabelLeadsBackToItsDayInEveryDateType) {
    const CConvertDateType convert;
    for (int type = -1; type <= 9; ++type) {
        const std::string label = convert.DateToDisplay("2010-05-23", static_cast<unsigned>(type));
        EXPECT_EQ(LabelToDayKey(label, type), "2010-05-23") << type << " " << label;
    }
    EXPECT_EQ(LabelToDayKey("2010-05", 0), "");
    EXPECT_EQ(LabelToDayKey("", 4), "");
    EXPECT_EQ(LabelToDayKey("2010-05-", 0), "2010-05-");  // what the label lacks stays empty
    EXPECT_EQ(StoredDayToKey("20100523"), "2010-05-23");
}

TEST(PreviewRulesTest, DaysAreListedNewestFirstFromTheOldestDayOn) {
    const std::vector<std::string> days = {"2010-05-22", "2009-12-31", "2010-05-23", "2010-05-21"};
    EXPECT_EQ(DaysToList(days, ""),
              (std::vector<std::string>{"2010-05-23", "2010-05-22", "2010-05-21", "2009-12-31"}));
    // The oldest day itself is listed.
    EXPECT_EQ(DaysToList(days, "20100522"), (std::vector<std::string>{"2010-05-23", "2010-05-22"}));
    EXPECT_TRUE(DaysToList(days, "20100524").empty());
    EXPECT_TRUE(DaysToList({}, "").empty());
    EXPECT_EQ(LocalDayDigits(1274608800), "20100523");  // 10:00 UTC; the tests run in UTC
    EXPECT_EQ(LocalDayDigits(1274608800 - 11 * 3600), "20100522");
}

TEST(PreviewRulesTest, TheTimeSpeedAndCameraTheComponentIsGiven) {
    const PlayTime t = PlayTimeOf("20100523", 10, 17);
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute}),
              (std::vector<int>{2010, 5, 23, 10, 17}));
    const PlayTime part = PlayTimeOf("2010", 1, 2);
    EXPECT_EQ((std::vector<int>{part.year, part.month, part.day}), (std::vector<int>{2010, 0, 0}));

    // Slower to the left of the middle, faster to its right, one step a notch.
    const std::pair<int, int> speeds[11] = {{5, 2}, {4, 2}, {3, 2}, {2, 2}, {1, 2}, {0, 0},
                                            {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}};
    for (int p = 0; p <= 10; ++p) {
        const PlaySpeed s = SpeedOfSlider(p);
        EXPECT_EQ(std::pair(s.steps, s.mode), speeds[p]) << p;
    }

    for (int camera : {0, 63}) {
        const DVR_SEARCHCAM cams = OneCamera(camera);
        EXPECT_EQ(cams.value[16 + camera], 1u);
        EXPECT_EQ(std::count(std::begin(cams.value), std::end(cams.value), 0u), 79) << camera;
    }
    for (int camera : {-1, 64}) {
        const DVR_SEARCHCAM none = OneCamera(camera);
        EXPECT_EQ(std::count(std::begin(none.value), std::end(none.value), 0u), 80) << camera;
    }
}
