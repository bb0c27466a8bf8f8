#pragma once
// The playback component as the preview calls it: the recorded days, one day's index, one camera
// played forward or backward at the recorded pace, single steps, and notifications to its owner
// (message 0x2b7b: wParam 110 when the day list is ready, 126 with the time of the picture shown).
#include <cstdint>
#include <string>
#include <vector>

// The camera selection block: values 0 to 15 are 0; value 16 + c is 1 when camera c plays.
struct DVR_SEARCHCAM {
    std::uint32_t value[80];
};

constexpr unsigned kMsgSearchNotify = 0x2b7b;
constexpr unsigned kSearchDayListReady = 110;
constexpr unsigned kSearchPictureTime = 126;

// Receives the component's notifications. Thread: the owner's user-interface thread.
class ISearchOwner {
  public:
    virtual ~ISearchOwner() = default;
    // wParam 126 comes with the 32-bit fields of the picture's time (the fifth and sixth are
    // its hour and minute); 110 with none.
    virtual void OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>& fields) = 0;
};

class CDvrSearchStatic2 {
  public:
    virtual ~CDvrSearchStatic2() = default;

    // Settings written before InitSearchInfo.
    virtual void SetTodayLimit(bool on) = 0;
    virtual void SetTimeWindow(std::int64_t now, std::int64_t windowStart) = 0;
    virtual std::int64_t Now() const = 0;
    virtual std::int64_t WindowStart() const = 0;
    virtual void SetDriveLayout(bool on) = 0;
    virtual void SetColorFormat(bool on) = 0;

    virtual void InitSearchInfo(ISearchOwner* owner, int remote, int reserved, int channels,
                                const std::string& server, int port, int service) = 0;
    virtual void SetSearchCam(const DVR_SEARCHCAM& cams) = 0;
    virtual void SetOneChannelMode(int camera) = 0;
    virtual void SetZoom(int zoom) = 0;
    virtual void SetDateType(int type) = 0;
    // The recorded days as YYYY-MM-DD.
    virtual void GetDateList(std::vector<std::string>& days) = 0;
    virtual void GetDayIndexInfo(const std::string& day) = 0;
    // 1 playable; 2 before the window start; 3 after now; anything else not playable.
    virtual int CheckTodayPlayTime(int year, int month, int day, int hour, int minute) = 0;
    virtual void Search_ForwardPlay(int zero, int year, int month, int day, int hour,
                                    int minute) = 0;
    virtual void Search_BackwardPlay(int zero, int year, int month, int day, int hour,
                                     int minute) = 0;
    virtual void Search_NextFrame(int zero, int year, int month, int day, int hour, int minute) = 0;
    virtual void Search_PreviousFrame(int zero, int year, int month, int day, int hour,
                                      int minute) = 0;
    virtual void Search_Stop() = 0;
    virtual void Search_Return() = 0;
    virtual void Search_EndFrame() = 0;
    virtual void UpdateLatesttime(int hour, int minute, int a, int b) = 0;
    virtual void SetPlaySpeed(int steps, int mode) = 0;
};
