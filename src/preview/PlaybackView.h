#pragma once
// The playback component: the picture area of the preview. It plays the recorder's pictures of
// one camera through the player, decodes each JPEG picture and scales it on the player's thread,
// and hands the finished picture to the window thread, so that playing never holds up the
// dialog. Its owner hears 110 when the day list is ready and 126 with each picture's time.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "playback/PlaybackEngine.h"
#include "ports/CDvrSearchStatic2.h"

class PlaybackView : public QWidget, public CDvrSearchStatic2, private playback::IPlaybackSink {
    Q_OBJECT
  public:
    // Where the pictures come from: remote is 0 for the recorder of this machine; null when
    // there is no such source.
    using SourceFactory = std::function<std::unique_ptr<playback::IPictureSource>(
        int remote, const std::string& server, int port)>;

    explicit PlaybackView(SourceFactory factory, QWidget* parent = nullptr);
    ~PlaybackView() override;

    void SetTodayLimit(bool on) override { m_bTodayLimit = on; }
    void SetTimeWindow(std::int64_t now, std::int64_t windowStart) override;
    std::int64_t Now() const override { return m_now; }
    std::int64_t WindowStart() const override { return m_windowStart; }
    void SetDriveLayout(bool on) override { m_bDriveLayout = on; }
    void SetColorFormat(bool on) override { m_bColor = on; }
    void InitSearchInfo(ISearchOwner* owner, int remote, int reserved, int channels,
                        const std::string& server, int port, int service) override;
    void SetSearchCam(const DVR_SEARCHCAM& cams) override;
    void SetOneChannelMode(int camera) override;
    void SetZoom(int zoom) override { m_nZoom = zoom; }
    void SetDateType(int type) override { m_nDateType = type; }
    void GetDateList(std::vector<std::string>& days) override;
    void GetDayIndexInfo(const std::string& day) override;
    int CheckTodayPlayTime(int year, int month, int day, int hour, int minute) override;
    void Search_ForwardPlay(int zero, int year, int month, int day, int hour, int minute) override;
    void Search_BackwardPlay(int zero, int year, int month, int day, int hour, int minute) override;
    void Search_NextFrame(int zero, int year, int month, int day, int hour, int minute) override;
    void Search_PreviousFrame(int zero, int year, int month, int day, int hour,
                              int minute) override;
    void Search_Stop() override;
    void Search_Return() override;
    void Search_EndFrame() override;
    void UpdateLatesttime(int hour, int minute, int a, int b) override;
    void SetPlaySpeed(int steps, int mode) override;

    // What it has done, for tests and the benchmark: pictures decoded on the player's thread,
    // pictures drawn, and the camera of the picture shown (-1 before the first).
    int picturesDecoded() const { return m_nDecoded; }
    int picturesDrawn() const { return m_nDrawn; }
    int shownCamera() const { return m_nShownCamera; }
    QString shownTime() const { return m_strShownTime; }
    QString notice() const { return m_strNotice; }
    bool playing() const { return m_engine && m_engine->Playing(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The player's thread.
    void OnDaysListed(const std::vector<std::string>& days) override;
    void OnPicture(const playback::ShownPicture& picture) override;
    void OnNotice(const std::string& text) override;
    void OnPlayEnded() override;
    // The window thread: what the player finished since the last call.
    void Deliver();
    void Post();
    // No picture shown any more: only the black area (and a notice) stays.
    void ClearPicture();
    // Loads the day of a request when it is not the one loaded.
    void UseDay(int year, int month, int day);

    SourceFactory m_factory;
    ISearchOwner* m_owner = nullptr;
    std::unique_ptr<playback::PlaybackEngine> m_engine;
    bool m_bTodayLimit = false, m_bDriveLayout = true;
    std::atomic<bool> m_bColor{true};
    std::int64_t m_now = 0, m_windowStart = 0;
    int m_nZoom = 4, m_nDateType = 0, m_nChannels = 64, m_nCamera = 0;
    std::string m_strDay;  // YYYYMMDD loaded

    // Handed from the player's thread to the window thread.
    std::mutex m_mutex;
    std::vector<std::string> m_days;
    bool m_bDaysReady = false;
    bool m_bHavePicture = false;
    QImage m_pendingImage;
    QString m_pendingTime, m_pendingProblem, m_pendingNotice;
    std::vector<std::int32_t> m_pendingFields;
    int m_nPendingCamera = -1;
    std::string m_pendingDay;
    std::atomic<bool> m_bPosted{false};
    std::atomic<int> m_nTargetW{352}, m_nTargetH{264};
    std::atomic<int> m_nDecoded{0};

    // The window thread's own.
    QImage m_shown;
    QString m_strShownTime, m_strProblem, m_strNotice;
    std::string m_strShownDay;  // YYYYMMDD of the picture shown
    int m_nShownCamera = -1;
    int m_nDrawn = 0;
    QTimer m_noticeTimer;
};
