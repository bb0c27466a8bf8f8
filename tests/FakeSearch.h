#pragma once
// A playback component that records what the preview asks of it and answers as the test says.
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "ports/CDvrSearchStatic2.h"

class FakeSearch : public CDvrSearchStatic2 {
  public:
    void SetTodayLimit(bool on) override { todayLimit = on; }
    void SetTimeWindow(std::int64_t n, std::int64_t start) override {
        now = n, windowStart = start;
    }
    std::int64_t Now() const override { return now; }
    std::int64_t WindowStart() const override { return windowStart; }
    void SetDriveLayout(bool) override {}
    void SetColorFormat(bool) override {}
    void InitSearchInfo(ISearchOwner*, int remote, int, int channels, const std::string& server,
                        int port, int service) override {
        Call("Init", remote, channels, server, port, service);
    }
    void SetSearchCam(const DVR_SEARCHCAM& c) override {
        cams = c;
        Call("SearchCam");
    }
    void SetOneChannelMode(int camera) override { Call("OneChannel", camera); }
    void SetZoom(int zoom) override { Call("Zoom", zoom); }
    void SetDateType(int type) override { Call("DateType", type); }
    void GetDateList(std::vector<std::string>& out) override { out = days; }
    void GetDayIndexInfo(const std::string& day) override { Call("DayIndex", day); }
    int CheckTodayPlayTime(int, int, int, int, int) override {
        if (answers.empty())
            return 1;
        const int a = answers.front();
        if (answers.size() > 1)
            answers.pop_front();
        return a;
    }
    void Search_ForwardPlay(int z, int y, int mo, int d, int h, int mi) override {
        Call("Forward", z, y, mo, d, h, mi);
    }
    void Search_BackwardPlay(int z, int y, int mo, int d, int h, int mi) override {
        Call("Backward", z, y, mo, d, h, mi);
    }
    void Search_NextFrame(int z, int y, int mo, int d, int h, int mi) override {
        Call("Next", z, y, mo, d, h, mi);
    }
    void Search_PreviousFrame(int z, int y, int mo, int d, int h, int mi) override {
        Call("Previous", z, y, mo, d, h, mi);
    }
    void Search_Stop() override { Call("Stop"); }
    void Search_Return() override { Call("Return"); }
    void Search_EndFrame() override { Call("EndFrame"); }
    void UpdateLatesttime(int h, int m, int a, int b) override { Call("Latest", h, m, a, b); }
    void SetPlaySpeed(int steps, int mode) override { Call("Speed", steps, mode); }

    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    std::vector<std::string> days;  // YYYY-MM-DD, in the order the component gives them
    std::deque<int> answers;        // of CheckTodayPlayTime; the last one repeats
    std::vector<std::string> calls;
    DVR_SEARCHCAM cams{};
    bool todayLimit = false;
    std::int64_t now = 0, windowStart = 0;

  private:
    // The call's name and its arguments, a blank between each.
    template <class... Args>
    void Call(const std::string& what, const Args&... args) {
        std::string call = what;
        ((call += " " + Text(args)), ...);
        calls.push_back(call);
    }
    static std::string Text(const std::string& s) { return s; }
    static std::string Text(int v) { return std::to_string(v); }
};
