#include "playback/PlaybackEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "playback/PlayTime.h"

namespace playback {
namespace {

// Behind the pace by more than this, pictures of the minute are passed over to catch up.
constexpr auto kLateness = std::chrono::milliseconds(50);
// A pause in the recording plays as at most this long a wait.
constexpr double kLongestWait = 1.0;

std::string ClockText(int minuteOfDay) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", minuteOfDay / 60 % 100, minuteOfDay % 60);
    return text;
}

}  // namespace

PlaybackEngine::PlaybackEngine(std::unique_ptr<IPictureSource> source, IPlaybackSink& sink)
    : source_(std::move(source)), sink_(sink), thread_([this] { Run(); }) {}

PlaybackEngine::~PlaybackEngine() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PlaybackEngine::Post(std::function<void()> request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(std::move(request));
        ++requested_;
    }
    wake_.notify_all();
}

void PlaybackEngine::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::size_t target = requested_;
    wake_.wait(lock, [&] { return done_ >= target || quit_; });
}

void PlaybackEngine::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!requests_.empty()) {
            std::function<void()> request = std::move(requests_.front());
            requests_.pop_front();
            lock.unlock();
            request();
            lock.lock();
            ++done_;
            wake_.notify_all();
        } else if (playing_) {
            if (Clock::now() >= due_) {
                lock.unlock();
                ShowNextDue();
                lock.lock();
            } else {
                wake_.wait_until(lock, due_);
            }
        } else {
            wake_.wait(lock);
        }
    }
}

void PlaybackEngine::ListDays() {
    Post([this] {
        std::vector<std::string> days = source_->Days();
        std::sort(days.rbegin(), days.rend());
        sink_.OnDaysListed(days);
    });
}

void PlaybackEngine::LoadDay(const std::string& day) {
    std::string digits;
    for (char c : day)
        if (c >= '0' && c <= '9')
            digits += c;
    Post([this, digits] {
        StopPlaying();
        day_ = digits;
        minutes_ = digits.size() == 8 ? source_->Minutes(digits) : std::vector<int>();
        loaded_ = static_cast<std::size_t>(-1);
        shown_ = Position();
    });
}

void PlaybackEngine::SetCamera(int camera) {
    Post([this, camera] {
        StopPlaying();
        camera_ = camera;
        loaded_ = static_cast<std::size_t>(-1);
        shown_ = Position();
    });
}

void PlaybackEngine::Play(Direction direction, int hour, int minute) {
    Post([this, direction, hour, minute] {
        StopPlaying();
        const int wanted = hour * 60 + minute;
        Position at = shown_;
        if (!at.valid || minutes_[at.minute] != wanted) {
            if (!Seek(direction, wanted, at)) {
                sink_.OnNotice("Camera " + std::to_string(camera_ + 1) + " has no pictures " +
                               (direction == Direction::kForward ? "from " : "up to ") +
                               ClockText(wanted) + ".");
                return;
            }
        }
        StartPlaying(direction, at);
    });
}

void PlaybackEngine::Step(Direction direction, int hour, int minute) {
    Post([this, direction, hour, minute] {
        StopPlaying();
        const int wanted = hour * 60 + minute;
        Position at = shown_;
        const bool found = at.valid && minutes_[at.minute] == wanted ? Move(direction, at)
                                                                     : Seek(direction, wanted, at);
        if (found)
            Show(at);
        else
            sink_.OnNotice(direction == Direction::kForward ? "There is no later picture."
                                                            : "There is no earlier picture.");
    });
}

void PlaybackEngine::Stop() {
    Post([this] { StopPlaying(); });
}

void PlaybackEngine::First() {
    Post([this] {
        StopPlaying();
        Position at;
        if (Seek(Direction::kForward, 0, at))
            Show(at);
    });
}

void PlaybackEngine::Last() {
    Post([this] {
        StopPlaying();
        Position at;
        if (Seek(Direction::kBackward, 24 * 60 - 1, at))
            Show(at);
    });
}

void PlaybackEngine::SetStartTime() {
    Post([this] { shown_ = Position(); });
}

void PlaybackEngine::SetSpeed(double factor) {
    speed_ = factor > 0 ? factor : 1.0;
}

bool PlaybackEngine::Load(std::size_t minute) {
    if (minute >= minutes_.size())
        return false;
    if (loaded_ != minute) {
        loaded_ = minute;
        pictures_ = source_->Pictures(day_, minutes_[minute], camera_);
        times_ = PictureTimes(pictures_.pictures);
        if (!pictures_.problem.empty())
            sink_.OnNotice(pictures_.problem + "; passed over.");
    }
    return !pictures_.pictures.empty();
}

bool PlaybackEngine::Seek(Direction direction, int minuteOfDay, Position& at) {
    if (direction == Direction::kForward) {
        auto it = std::lower_bound(minutes_.begin(), minutes_.end(), minuteOfDay);
        for (std::size_t m = static_cast<std::size_t>(it - minutes_.begin()); m < minutes_.size();
             ++m)
            if (Load(m)) {
                at = {true, m, 0};
                return true;
            }
    } else {
        auto it = std::upper_bound(minutes_.begin(), minutes_.end(), minuteOfDay);
        for (std::size_t m = static_cast<std::size_t>(it - minutes_.begin()); m-- > 0;)
            if (Load(m)) {
                at = {true, m, pictures_.pictures.size() - 1};
                return true;
            }
    }
    return false;
}

bool PlaybackEngine::Move(Direction direction, Position& at) {
    if (!Load(at.minute))
        return false;
    if (direction == Direction::kForward) {
        if (at.index + 1 < pictures_.pictures.size()) {
            ++at.index;
            return true;
        }
        for (std::size_t m = at.minute + 1; m < minutes_.size(); ++m)
            if (Load(m)) {
                at = {true, m, 0};
                return true;
            }
    } else {
        if (at.index > 0) {
            --at.index;
            return true;
        }
        for (std::size_t m = at.minute; m-- > 0;)
            if (Load(m)) {
                at = {true, m, pictures_.pictures.size() - 1};
                return true;
            }
    }
    return false;
}

void PlaybackEngine::Show(const Position& at) {
    if (!Load(at.minute) || at.index >= pictures_.pictures.size())
        return;
    const PictureRef& ref = pictures_.pictures[at.index];
    ShownPicture p;
    p.day = day_;
    p.camera = camera_;
    p.minuteOfDay = minutes_[at.minute];
    p.rectime = ref.rectime;
    p.second = static_cast<int>((ref.rectime % 60 + 60) % 60);
    if (const platform::Outcome read = source_->Read(day_, p.minuteOfDay, ref, p.bytes); !read)
        p.problem = read.error().Said();
    shown_ = at;
    sink_.OnPicture(p);
}

void PlaybackEngine::StartPlaying(Direction direction, Position at) {
    direction_ = direction;
    next_ = at;
    due_ = Clock::now();
    playing_ = true;
}

void PlaybackEngine::StopPlaying() {
    playing_ = false;
}

void PlaybackEngine::ShowNextDue() {
    Show(next_);
    Load(next_.minute);
    double shownTime = times_[next_.index];
    Position following = next_;
    if (!Move(direction_, following)) {
        playing_ = false;
        sink_.OnPlayEnded();
        return;
    }
    auto wait = [&](double from, double to) {
        const double seconds = std::min(kLongestWait, std::abs(to - from)) / speed_.load();
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    due_ += wait(shownTime, times_[following.index]);
    // Behind the pace (a slow disc, a busy machine): pass over pictures of this minute rather
    // than fall further behind.
    while (due_ + kLateness < Clock::now()) {
        Position further = following;
        const std::size_t minute = following.minute;
        if (!Move(direction_, further) || further.minute != minute)
            break;
        shownTime = times_[following.index];
        due_ += wait(shownTime, times_[further.index]);
        following = further;
    }
    next_ = following;
}

}  // namespace playback
