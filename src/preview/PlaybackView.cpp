#include "preview/PlaybackView.h"

#include <QMetaObject>
#include <QPainter>
#include <cstdio>

#include "playback/PlayTime.h"

PlaybackView::PlaybackView(SourceFactory factory, QWidget* parent)
    : QWidget(parent), m_factory(std::move(factory)) {
    setObjectName("c1105");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(176, 132);
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] {
        m_strNotice.clear();
        update();
    });
}

PlaybackView::~PlaybackView() {
    m_engine.reset();  // the player's thread ends before anything it calls goes
}

void PlaybackView::SetTimeWindow(std::int64_t now, std::int64_t windowStart) {
    m_now = now;
    m_windowStart = windowStart;
}

void PlaybackView::InitSearchInfo(ISearchOwner* owner, int remote, int, int channels,
                                  const std::string& server, int port, int) {
    m_owner = owner;
    m_nChannels = channels > 0 ? channels : 64;
    m_engine.reset();
    std::unique_ptr<playback::IPictureSource> source =
        m_factory ? m_factory(remote, server, port) : nullptr;
    if (!source) {
        m_strNotice = remote ? tr("The remote recorder's pictures cannot be played here.")
                             : tr("There are no recordings to play.");
        update();
        return;
    }
    playback::IPlaybackSink& sink = *this;
    m_engine = std::make_unique<playback::PlaybackEngine>(std::move(source), sink);
    m_engine->ListDays();
}

void PlaybackView::SetSearchCam(const DVR_SEARCHCAM& cams) {
    for (int c = 0; c < 64; ++c)
        if (cams.value[16 + c]) {
            SetOneChannelMode(c);
            return;
        }
}

void PlaybackView::SetOneChannelMode(int camera) {
    if (camera < 0 || camera >= 64)
        return;
    m_nCamera = camera;
    if (m_engine)
        m_engine->SetCamera(camera);
}

void PlaybackView::GetDateList(std::vector<std::string>& days) {
    std::lock_guard<std::mutex> lock(m_mutex);
    days.clear();
    for (const auto& d : m_days)
        days.push_back(d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2));
}

void PlaybackView::GetDayIndexInfo(const std::string& day) {
    std::string digits;
    for (char c : day)
        if (c >= '0' && c <= '9')
            digits += c;
    m_strDay = digits;
    if (m_engine)
        m_engine->LoadDay(digits);
}

void PlaybackView::UseDay(int year, int month, int day) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d", year % 10000, month % 100, day % 100);
    if (digits != m_strDay)
        GetDayIndexInfo(digits);
}

int PlaybackView::CheckTodayPlayTime(int year, int month, int day, int hour, int minute) {
    return playback::CheckPlayTime(m_bTodayLimit, m_now, m_windowStart, year, month, day, hour,
                                   minute);
}

void PlaybackView::Search_ForwardPlay(int, int year, int month, int day, int hour, int minute) {
    if (!m_engine)
        return;
    UseDay(year, month, day);
    m_engine->Play(playback::Direction::kForward, hour, minute);
}

void PlaybackView::Search_BackwardPlay(int, int year, int month, int day, int hour, int minute) {
    if (!m_engine)
        return;
    UseDay(year, month, day);
    m_engine->Play(playback::Direction::kBackward, hour, minute);
}

void PlaybackView::Search_NextFrame(int, int year, int month, int day, int hour, int minute) {
    if (!m_engine)
        return;
    UseDay(year, month, day);
    m_engine->Step(playback::Direction::kForward, hour, minute);
}

void PlaybackView::Search_PreviousFrame(int, int year, int month, int day, int hour, int minute) {
    if (!m_engine)
        return;
    UseDay(year, month, day);
    m_engine->Step(playback::Direction::kBackward, hour, minute);
}

void PlaybackView::Search_Stop() {
    if (m_engine)
        m_engine->Stop();
}

void PlaybackView::Search_Return() {
    if (m_engine)
        m_engine->First();
}

void PlaybackView::Search_EndFrame() {
    if (m_engine)
        m_engine->Last();
}

void PlaybackView::UpdateLatesttime(int, int, int, int) {
    if (m_engine)
        m_engine->SetStartTime();
}

void PlaybackView::SetPlaySpeed(int steps, int mode) {
    if (m_engine)
        m_engine->SetSpeed(playback::SpeedFactor(steps, mode));
}

void PlaybackView::resizeEvent(QResizeEvent* event) {
    m_nTargetW = width();
    m_nTargetH = height();
    QWidget::resizeEvent(event);
}

void PlaybackView::Post() {
    if (!m_bPosted.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { Deliver(); }, Qt::QueuedConnection);
}

void PlaybackView::OnDaysListed(const std::vector<std::string>& days) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_days = days;
        m_bDaysReady = true;
    }
    Post();
}

void PlaybackView::OnPicture(const playback::ShownPicture& picture) {
    QImage image;
    QString problem = QString::fromStdString(picture.problem);
    if (!picture.bytes.empty() &&
        !image.loadFromData(picture.bytes.data(), static_cast<int>(picture.bytes.size()), "JPG"))
        problem = tr("The picture is damaged.");
    if (!image.isNull()) {
        if (!m_bColor)
            image = image.convertToFormat(QImage::Format_Grayscale8);
        // Scaled here, so that the window thread only copies it to the screen.
        const QSize target(m_nTargetW.load(), m_nTargetH.load());
        if (target.width() > 0 && target.height() > 0 && image.size() != target)
            image = image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    ++m_nDecoded;
    const int minute = picture.minuteOfDay;
    char time[32];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", minute / 60 % 100, minute % 60,
                  picture.second % 100);
    const int year = std::atoi(picture.day.substr(0, 4).c_str());
    const int month = std::atoi(picture.day.substr(4, 2).c_str());
    const int day = std::atoi(picture.day.substr(6, 2).c_str());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHavePicture = true;
        m_pendingImage = std::move(image);
        m_pendingProblem = problem;
        m_pendingTime = QString::fromLatin1(time);
        m_nPendingCamera = picture.camera;
        m_pendingDay = picture.day;
        m_pendingFields = {year,        month,       day,           picture.camera,
                           minute / 60, minute % 60, picture.second};
    }
    Post();
}

void PlaybackView::OnNotice(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pendingNotice = QString::fromStdString(text);
    }
    Post();
}

void PlaybackView::OnPlayEnded() {
    OnNotice("The end of the day's pictures.");
}

void PlaybackView::Deliver() {
    m_bPosted = false;
    bool daysReady = false, picture = false;
    std::vector<std::int32_t> fields;
    QString notice;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(daysReady, m_bDaysReady);
        if (m_bHavePicture) {
            picture = true;
            m_bHavePicture = false;
            m_shown = std::move(m_pendingImage);
            m_pendingImage = QImage();
            m_strProblem = m_pendingProblem;
            m_strShownTime = m_pendingTime;
            m_nShownCamera = m_nPendingCamera;
            m_strShownDay = m_pendingDay;
            fields = m_pendingFields;
        }
        std::swap(notice, m_pendingNotice);
    }
    if (!notice.isEmpty()) {
        m_strNotice = notice;
        m_noticeTimer.start(4000);
        // A notice about the camera or day now chosen ("Camera 5 has no pictures from
        // 10:35.") must not stand under another camera's picture.
        if (!picture && m_nShownCamera >= 0 &&
            (m_nShownCamera != m_nCamera || m_strShownDay != m_strDay))
            ClearPicture();
    }
    if (picture || !notice.isEmpty())
        update();
    if (daysReady && m_owner)
        m_owner->OnSearchNotify(kSearchDayListReady, {});
    if (picture && m_owner)
        m_owner->OnSearchNotify(kSearchPictureTime, fields);
}

void PlaybackView::ClearPicture() {
    m_shown = QImage();
    m_strShownTime.clear();
    m_strShownDay.clear();
    m_strProblem.clear();
    m_nShownCamera = -1;
}

void PlaybackView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_shown.isNull()) {
        const QSize size = m_shown.size().scaled(this->size(), Qt::KeepAspectRatio);
        const QRect at(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
        if (size == m_shown.size())
            p.drawImage(at.topLeft(), m_shown);
        else
            p.drawImage(at, m_shown);  // the window grew since the picture was scaled
        ++m_nDrawn;
    }
    p.setPen(Qt::white);
    if (m_nShownCamera >= 0) {
        const QString line = tr("Camera %1  %2").arg(m_nShownCamera + 1).arg(m_strShownTime);
        p.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignTop | Qt::AlignLeft, line);
    }
    if (!m_strProblem.isEmpty())
        p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_strProblem);
    if (!m_strNotice.isEmpty()) {
        p.setPen(QColor(255, 220, 120));
        p.drawText(rect().adjusted(6, 4, -6, -4),
                   Qt::AlignBottom | Qt::AlignLeft | Qt::TextWordWrap, m_strNotice);
    }
}
