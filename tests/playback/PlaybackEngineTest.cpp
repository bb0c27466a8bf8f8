// The player over a generated recorder: which pictures it shows, with the bytes the recorder
// holds; the start times the today limit lets play, the speed steps and each picture's due time.
// Pace itself is measured by the benchmark, not here.
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>

#include "TestEnv.h"
#include "mkrec/JpegPicture.h"
#include "mkrec/Recorder.h"
#include "playback/LocalPictureSource.h"
#include "playback/PlayTime.h"
#include "playback/PlaybackEngine.h"

using namespace playback;

namespace {

class RecordingSink : public IPlaybackSink {
  public:
    void OnDaysListed(const std::vector<std::string>& d) override {
        Change([&] { days_ = d; });
    }
    void OnPicture(const ShownPicture& p) override {
        Change([&] { pictures_.push_back(p); });
    }
    void OnNotice(const std::string& t) override {
        Change([&] { notices_.push_back(t); });
    }
    void OnPlayEnded() override {
        Change([&] { ended_ = true; });
    }
    // Waits (bounded only against a hang) for n pictures or the end of the play.
    bool WaitForPictures(std::size_t n = SIZE_MAX) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kHangGuardMs),
                                 [&] { return pictures_.size() >= n || ended_; });
    }
    std::vector<ShownPicture> Pictures() { return Copy(pictures_); }
    std::vector<std::string> Notices() { return Copy(notices_); }
    void Clear() {
        Change([&] { pictures_.clear(), notices_.clear(), ended_ = false; });
    }
    std::vector<std::string> days_;

  private:
    template <typename F>
    void Change(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        f();
        changed_.notify_all();
    }
    template <typename T>
    T Copy(const T& v) {
        std::lock_guard<std::mutex> lock(mutex_);
        return v;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ShownPicture> pictures_;
    std::vector<std::string> notices_;
    bool ended_ = false;
};

// 10:00 to 10:03 of four cameras at five pictures a second; 10:02's index is no database and
// camera 3 stops recording at 10:01.
class PlaybackEngineTest : public TempPrefixTest {
  protected:
    void SetUp() override {
        TempPrefixTest::SetUp();
        plan = {.root = "C:\\QorData",
                .days = {"20100522", "20100523"},
                .firstMinute = 600,
                .lastMinute = 603,
                .fps = 5,
                .width = 16,
                .height = 16,
                .cameraStops = {{3, 601}},
                .damagedMinutes = {{602, mkrec::Damage::kNotADatabase}}};
        mkrec::MakeRecordings(plan);
        engine = std::make_unique<PlaybackEngine>(
            std::make_unique<LocalPictureSource>("C:\\QorData"), sink);
        engine->LoadDay("2010-05-23");
    }
    void TearDown() override {
        engine.reset();
        TempPrefixTest::TearDown();
    }
    // The picture the generator made for this camera and time.
    std::vector<std::uint8_t> Expected(int camera, int minuteOfDay, int second) const {
        return mkrec::MakeJpegPicture(plan.width, plan.height, camera, minuteOfDay / 60,
                                      minuteOfDay % 60, second, plan.seed, plan.quality);
    }
    static std::string Time(const ShownPicture& p) {
        return std::to_string(p.minuteOfDay / 60) + ":" + std::to_string(p.minuteOfDay % 60) + ":" +
               std::to_string(p.second);
    }
    // The times of the pictures shown so far, with the camera of each.
    std::vector<std::string> Shown() {
        std::vector<std::string> times;
        for (const ShownPicture& p : sink.Pictures())
            times.push_back(Time(p) + " c" + std::to_string(p.camera));
        return times;
    }
    mkrec::RecorderPlan plan;
    RecordingSink sink;
    std::unique_ptr<PlaybackEngine> engine;
};

}  // namespace

// Forward from the chosen minute's first picture, backward from its last one.
TEST_F(PlaybackEngineTest, PlayShowsTheChosenCameraFromTheChosenMinuteInRecordedOrder) {
    for (const Direction direction : {Direction::kForward, Direction::kBackward}) {
        const bool forward = direction == Direction::kForward;
        SCOPED_TRACE(forward ? "forward" : "backward");
        sink.Clear();
        engine->SetCamera(2);
        engine->SetSpeed(50);
        engine->Play(direction, 10, 1);
        ASSERT_TRUE(sink.WaitForPictures(40));
        engine->Stop();
        engine->Flush();
        const auto shown = sink.Pictures();
        EXPECT_EQ(Time(shown[0]), forward ? "10:1:0" : "10:1:59");
        EXPECT_EQ(shown[0].bytes, Expected(2, 601, forward ? 0 : 59));
        for (std::size_t i = 1; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].camera, 2);
            EXPECT_TRUE(forward ? shown[i].rectime >= shown[i - 1].rectime
                                : shown[i].rectime <= shown[i - 1].rectime)
                << i;
            EXPECT_EQ(shown[i].bytes, Expected(2, shown[i].minuteOfDay, shown[i].second)) << i;
        }
        EXPECT_FALSE(engine->Playing());
    }
}

TEST_F(PlaybackEngineTest, StepsGoOnePictureFromTheOneShownAndAcrossMinutes) {
    engine->SetCamera(1);
    engine->Step(Direction::kForward, 10, 0);  // nothing shown yet: the minute's first picture
    engine->Flush();
    engine->Step(Direction::kForward, 10, 0);
    engine->Flush();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"10:0:0 c1", "10:0:0 c1"}));  // five a second

    // Back past the day's first picture there is nothing; the picture stays.
    engine->Step(Direction::kBackward, 10, 0);
    engine->Step(Direction::kBackward, 10, 0);
    engine->Flush();
    EXPECT_EQ(sink.Pictures().size(), 3u);
    EXPECT_EQ(sink.Notices(), std::vector<std::string>{"There is no earlier picture."});

    // A new start time: the next step starts there; from the minute's last picture one step
    // forward lands in the next minute.
    sink.Clear();
    engine->SetStartTime();
    engine->Step(Direction::kBackward, 10, 0);
    engine->Step(Direction::kForward, 10, 0);
    engine->Flush();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"10:0:59 c1", "10:1:0 c1"}));
}

TEST_F(PlaybackEngineTest, DaysAreListedNewestFirstAndFirstAndLastAreTheDaysEndsForTheCamera) {
    engine->ListDays();
    engine->First();
    engine->Last();
    engine->SetCamera(3);  // stops at 10:01
    engine->Last();
    engine->Flush();
    EXPECT_EQ(sink.days_, (std::vector<std::string>{"20100523", "20100522"}));
    ASSERT_EQ(Shown(), (std::vector<std::string>{"10:0:0 c0", "10:3:59 c0", "10:0:59 c3"}));
    EXPECT_EQ(sink.Pictures()[2].bytes, Expected(3, 600, 59));
}

TEST_F(PlaybackEngineTest, AMinuteThatCannotBeReadIsPassedOverWithANoticeAndPlayingEnds) {
    engine->SetSpeed(1000);
    engine->Play(Direction::kForward, 10, 1);
    ASSERT_TRUE(sink.WaitForPictures());
    const auto shown = sink.Pictures();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().minuteOfDay, 603);
    EXPECT_EQ(shown.back().second, 59);
    for (const auto& p : shown)
        EXPECT_NE(p.minuteOfDay, 602);
    const auto notices = sink.Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("10:02"), std::string::npos) << notices[0];
    EXPECT_FALSE(engine->Playing());
}

TEST_F(PlaybackEngineTest, NothingToPlayIsSaidAndOtherDaysLoadCleanly) {
    engine->SetCamera(3);
    engine->Play(Direction::kForward, 10, 1);
    engine->LoadDay("20991231");
    engine->Step(Direction::kForward, 0, 0);
    engine->LoadDay("2010-05-22");
    engine->Step(Direction::kForward, 10, 0);
    engine->Flush();
    // Looking for camera 4 passes the damaged minute, which is named.
    const auto notices = sink.Notices();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].rfind("the index of 10:02 cannot be read: ", 0), 0u) << notices[0];
    EXPECT_EQ(notices[1], "Camera 4 has no pictures from 10:01.");
    EXPECT_EQ(notices[2], "There is no later picture.");
    const auto shown = sink.Pictures();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].day, "20100522");
}

TEST_F(PlaybackEngineTest, APictureCutShortIsShownAsUnreadable) {
    // A data file shorter than its index says after the listing: the picture's read fails.
    const std::string dat = driveC() + "/QorData/20100523/201005231000N.dat";
    engine->Step(Direction::kForward, 10, 0);
    engine->Flush();
    ASSERT_EQ(::truncate(dat.c_str(), 10), 0);
    engine->Step(Direction::kForward, 10, 0);
    engine->Flush();
    const auto shown = sink.Pictures();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].bytes.empty());
    EXPECT_EQ(shown[1].problem, "a picture of 10:00 is cut short");
}

TEST(PlayTime, TheTodayLimitAnswersBeforeTheWindowAfterNowOrPlayable) {
    std::tm at{
        .tm_min = 30, .tm_hour = 14, .tm_mday = 23, .tm_mon = 4, .tm_year = 110, .tm_isdst = -1};
    const std::int64_t now = static_cast<std::int64_t>(std::mktime(&at)) + 25;  // 14:30:25
    const std::int64_t start = now - 86400;
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 22, 14, 29), kBeforeWindow);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 22, 14, 30), kPlayable);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 23, 14, 30), kPlayable);
    EXPECT_EQ(CheckPlayTime(true, now, start, 2010, 5, 23, 14, 31), kAfterNow);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2001, 1, 1, 0, 0), kPlayable);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2010, 2, 31, 0, 0), kNotPlayable);
    EXPECT_EQ(CheckPlayTime(false, now, start, 2010, 5, 23, 24, 0), kNotPlayable);
}

TEST(PlayTime, SpeedStepsScaleThePace) {
    EXPECT_DOUBLE_EQ(SpeedFactor(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(5, 1), 6.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(5, 2), 1.0 / 6.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(3, 0), 1.0);
    EXPECT_DOUBLE_EQ(SpeedFactor(99, 1), 11.0);
}

TEST(PlayTime, PicturesSharingASecondAreSpreadOverIt) {
    std::vector<PictureRef> pictures;
    for (int i = 0; i < 25; ++i)
        pictures.push_back({100, i, 1});
    pictures.insert(pictures.end(), {{101, 25, 1}, {101, 26, 1}, {105, 27, 1}});
    const auto t = PictureTimes(pictures);
    EXPECT_DOUBLE_EQ(t[0], 100.0);
    EXPECT_NEAR(t[1] - t[0], 0.04, 1e-9);
    EXPECT_NEAR(t[24], 100.96, 1e-9);
    EXPECT_DOUBLE_EQ(t[25], 101.0);
    EXPECT_DOUBLE_EQ(t[26], 101.5);
    EXPECT_DOUBLE_EQ(t[27], 105.0);
}
