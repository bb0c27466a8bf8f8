#pragma once
// The player: one camera of one recorded day, played forward or backward at the recorded pace
// (faster or slower by a factor), stepped a picture at a time, moved to the day's first or last
// picture. It runs on a thread of its own, so that reading never holds up a window; each picture
// it shows goes to its sink with the bytes as recorded. A minute that cannot be read is passed
// over with a notice, never the end of playing.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/PictureSource.h"

namespace playback {

enum class Direction { kForward, kBackward };

struct ShownPicture {
    std::string day;  // YYYYMMDD
    int camera = 0;
    int minuteOfDay = 0;
    int second = 0;  // of the minute, by the recorder's stamp
    long long rectime = 0;
    std::vector<std::uint8_t> bytes;  // empty when the picture cannot be read
    std::string problem;              // why not
};

// Every call comes on the player's thread.
class IPlaybackSink {
  public:
    virtual ~IPlaybackSink() = default;
    // The recorded days, YYYYMMDD, newest first.
    virtual void OnDaysListed(const std::vector<std::string>& days) = 0;
    virtual void OnPicture(const ShownPicture& picture) = 0;
    // Something the operator should see: a minute passed over, nothing to play.
    virtual void OnNotice(const std::string& text) = 0;
    // Playing came to the end of the day's pictures.
    virtual void OnPlayEnded() = 0;
};

class PlaybackEngine {
  public:
    PlaybackEngine(std::unique_ptr<IPictureSource> source, IPlaybackSink& sink);
    ~PlaybackEngine();  // stops playing and waits for the thread
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Every request is queued and carried out in order on the player's thread; each returns at
    // once. Times are of the loaded day.
    void ListDays();
    void LoadDay(const std::string& day);  // YYYYMMDD or YYYY-MM-DD
    void SetCamera(int camera);            // 0-based
    // Plays from the picture shown when it lies in the minute hour:minute, else from the minute
    // (forward: its first picture or the next minute's; backward: its last or an earlier one's).
    void Play(Direction direction, int hour, int minute);
    // One picture on from the one shown; the first such step after a new time starts there.
    void Step(Direction direction, int hour, int minute);
    void Stop();
    void First();
    void Last();
    // The operator chose a new start time: the next play or step starts at the time it is
    // given, not from the picture shown.
    void SetStartTime();
    // Times the recorded pace (1 normal); takes effect with the next picture.
    void SetSpeed(double factor);

    // True while playing (as of the last request carried out).
    bool Playing() const { return playing_; }
    // Waits until every request made so far has been carried out (for tests and shutdown).
    void Flush();

  private:
    using Clock = std::chrono::steady_clock;
    struct Position {
        bool valid = false;
        std::size_t minute = 0;  // index into minutes_
        std::size_t index = 0;   // into pictures_
    };

    void Run();
    void Post(std::function<void()> request);
    // Engine thread only, below.
    bool Load(std::size_t minute);
    bool Seek(Direction direction, int minuteOfDay, Position& at);
    bool Move(Direction direction, Position& at);
    void Show(const Position& at);
    void ShowNextDue();
    void StartPlaying(Direction direction, Position at);
    void StopPlaying();

    std::unique_ptr<IPictureSource> source_;
    IPlaybackSink& sink_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> requests_;
    std::size_t requested_ = 0, done_ = 0;
    bool quit_ = false;

    std::string day_;
    std::vector<int> minutes_;
    int camera_ = 0;
    std::size_t loaded_ = static_cast<std::size_t>(-1);  // the minute whose pictures are loaded
    MinutePictures pictures_;
    std::vector<double> times_;
    Position shown_;
    Position next_;
    Direction direction_ = Direction::kForward;
    Clock::time_point due_;
    std::atomic<bool> playing_{false};
    std::atomic<double> speed_{1.0};
    std::thread thread_;  // last: started once everything above exists
};

}  // namespace playback
