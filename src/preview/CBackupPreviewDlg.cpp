#include "preview/CBackupPreviewDlg.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>
#include <initializer_list>

#include "app/CHKLM.h"
#include "controls/CxSkinButton.h"
#include "preview/PreviewCaptions.h"
#include "preview/PreviewDayList.h"
#include "preview/PreviewScreen.h"
#include "preview/PreviewTimeChoice.h"
#include "preview/PreviewTransport.h"
#include "skin/SkinPositions.h"
#include "storage/RecordedDays.h"

namespace {

QRect RectOf(const skin::ButtonPosition& p) {
    return QRect(p.x, p.y, p.w, p.h);
}

}  // namespace

CBackupPreviewDlg::CBackupPreviewDlg(CQuillonApp& app, BackupContext& ctx,
                                     CDvrSearchStatic2* search, QWidget* parent)
    : QWidget(parent), m_app(app), m_ctx(ctx), m_search(search) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    m_days =
        std::make_unique<PreviewDayList>(this, layout, [this](int row) { OnDateListClick(row); });
    m_screen = std::make_unique<PreviewScreen>(this, layout, search);
    m_time = std::make_unique<PreviewTimeChoice>(this, layout);
    m_transport = std::make_unique<PreviewTransport>(this, layout);

    m_days->Widget()->installEventFilter(this);
    connect(Button(ctl::kViewFirst), &QAbstractButton::clicked, this, [this] { OnFirst(); });
    connect(Button(ctl::kViewPrevious), &QAbstractButton::clicked, this,
            [this] { OnPreviousFrame(); });
    connect(Button(ctl::kViewReverse), &QAbstractButton::clicked, this, [this] { OnReverse(); });
    connect(Button(ctl::kViewStop), &QAbstractButton::clicked, this, [this] { OnStop(); });
    connect(Button(ctl::kViewForward), &QAbstractButton::clicked, this, [this] { OnForward(); });
    connect(Button(ctl::kViewNext), &QAbstractButton::clicked, this, [this] { OnNextFrame(); });
    connect(Button(ctl::kViewLast), &QAbstractButton::clicked, this, [this] { OnLast(); });
    connect(m_time->Camera(), &QComboBox::activated, this,
            [this](int index) { OnCameraChange(index); });
    connect(m_time->Hour(), &QComboBox::activated, this, [this] { OnTimeChange(); });
    connect(m_time->Minute(), &QComboBox::activated, this, [this] { OnTimeChange(); });
    connect(m_transport->Slider(), &QSlider::valueChanged, this,
            [this](int pos) { OnSpeedMessage(ctl::kSpeedSlider, pos); });
}

// Out of line, where the parts are complete types.
CBackupPreviewDlg::~CBackupPreviewDlg() = default;

const QStringList& CBackupPreviewDlg::ListedDates() const {
    return m_days->Dates();
}

QTreeWidget* CBackupPreviewDlg::DayList() const {
    return m_days->Widget();
}

QWidget* CBackupPreviewDlg::PictureArea() const {
    return m_screen->PictureArea();
}

CxSkinButton* CBackupPreviewDlg::Button(int id) const {
    return m_transport->Button(id);
}

void CBackupPreviewDlg::OnInitDialog() {
    const std::string positions = skin::ButtonPositionFile(m_app.m_strExePath);
    m_rcPreviewWnd = RectOf(skin::ReadButtonPosition(positions, "BackupDlg", "PreviewWnd"));
    m_transport->ApplySkin(m_app);
    // The picture area grows with the window from its btn.pos size.
    m_screen->SetMinimumSize(
        RectOf(skin::ReadButtonPosition(positions, "BackupDlg", "ViewDisp")).size());
    m_transport->ResetSpeed();

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (m_search) {
        m_search->SetTodayLimit(m_app.m_bTodayLimit != 0);
        m_search->SetTimeWindow(now, now - 86400);
        m_search->SetDriveLayout(m_app.m_bUseDrives != 0);
        m_search->SetColorFormat(m_app.m_bColorFormat != 0);
    }
    m_days->SetLook();
    if (m_search) {
        const int channels = m_app.m_nChannelsPerUnit * m_app.m_nUnitCount;
        if (m_ctx.m_bLocalMode)
            m_search->InitSearchInfo(this, 0, 0, channels, "", 0, 22001);
        else
            m_search->InitSearchInfo(this, 1, 0, channels, m_ctx.m_strServerAddress,
                                     m_ctx.m_nPort - 2, 22001);
    }
    SelectCamera(0);
    if (m_search)
        m_search->SetZoom(4);
    m_screen->PictureArea()->setVisible(false);  // until the first picture is asked for

    m_time->Fill(m_ctx.m_nCamCount);
    SetPreviewCaptionTexts(*this, m_app);

    if (!m_search) {
        // Without a playback component the preview lists the recorder's days itself.
        std::vector<std::string> days;
        for (const auto& d : storage::ListRecordedDays(GetStoragePath()))
            days.push_back(StoredDayToKey(d));
        FillDayList(days);
    }
}

void CBackupPreviewDlg::SetPreviewControlsState(int mode) {
    const bool on = mode == 1;
    for (CxSkinButton* b : m_transport->Buttons())
        b->setEnabled(on);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_time->Camera(), m_days->Widget(), m_transport->Slider(),
                                         m_time->Hour(), m_time->Minute()})
        w->setEnabled(on);
}

void CBackupPreviewDlg::LockTimeSelection(bool playing) {
    m_time->Lock(playing);
}

void CBackupPreviewDlg::SelectCamera(int camera) {
    const DVR_SEARCHCAM cams = OneCamera(camera);
    if (!m_search)
        return;
    m_search->SetSearchCam(cams);
    m_search->SetOneChannelMode(camera);
}

PlayTime CBackupPreviewDlg::TakeTime() const {
    return PlayTimeOf(m_ctx.m_strSelDate, m_time->HourChosen(), m_time->MinuteChosen());
}

void CBackupPreviewDlg::ShowPictureArea() {
    m_screen->PictureArea()->setVisible(true);
}

void CBackupPreviewDlg::OnFirst() {
    m_time->SetTime(0, 0);
    if (m_search)
        m_search->Search_Return();
}

void CBackupPreviewDlg::OnLast() {
    m_time->SetTime(23, 59);
    if (m_search)
        m_search->Search_EndFrame();
}

void CBackupPreviewDlg::OnStop() {
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
}

void CBackupPreviewDlg::Step(bool forward) {
    ShowPictureArea();
    const PlayTime t = TakeTime();
    if (!m_search || m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) != 1)
        return;
    if (forward)
        m_search->Search_NextFrame(0, t.year, t.month, t.day, t.hour, t.minute);
    else
        m_search->Search_PreviousFrame(0, t.year, t.month, t.day, t.hour, t.minute);
    m_search->SetZoom(4);
}

void CBackupPreviewDlg::OnPreviousFrame() {
    Step(false);
}

void CBackupPreviewDlg::OnNextFrame() {
    Step(true);
}

void CBackupPreviewDlg::Play(bool forward) {
    ShowPictureArea();
    if (m_ctx.m_strSelDate.size() > 8)
        return;
    if (m_search) {
        PlayTime t = TakeTime();
        bool play = m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) == 1;
        if (!play && m_search->CheckTodayPlayTime(t.year, t.month, t.day, t.hour, t.minute) ==
                         (forward ? 2 : 3)) {
            // Outside the window: from its start (forward) or from now (backward).
            const std::time_t from =
                static_cast<std::time_t>(forward ? m_search->WindowStart() : m_search->Now());
            std::tm local{};
            if (localtime_r(&from, &local)) {
                m_time->SetTime(local.tm_hour, local.tm_min);
                t = TakeTime();
                play = true;
            }
        }
        if (play) {
            if (forward)
                m_search->Search_ForwardPlay(0, t.year, t.month, t.day, t.hour, t.minute);
            else
                m_search->Search_BackwardPlay(0, t.year, t.month, t.day, t.hour, t.minute);
            m_search->SetZoom(4);
        }
    }
    LockTimeSelection(true);
}

void CBackupPreviewDlg::OnReverse() {
    Play(false);
}

void CBackupPreviewDlg::OnForward() {
    Play(true);
}

void CBackupPreviewDlg::OnCameraChange(int index) {
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
    SelectCamera(index);
}

void CBackupPreviewDlg::OnTimeChange() {
    if (m_search)
        m_search->UpdateLatesttime(m_time->HourChosen(), m_time->MinuteChosen(), 0, 0);
}

long CBackupPreviewDlg::OnSpeedMessage(std::uintptr_t wParam, std::intptr_t lParam) {
    if (wParam != static_cast<std::uintptr_t>(ctl::kSpeedSlider) || !m_search)
        return 0;
    const PlaySpeed speed = SpeedOfSlider(static_cast<int>(lParam & 0xFFFF));
    m_search->SetPlaySpeed(speed.steps, speed.mode);
    return 0;
}

void CBackupPreviewDlg::OnSearchNotify(unsigned wParam, const std::vector<std::int32_t>& fields) {
    if (wParam == kSearchPictureTime) {
        if (fields.size() >= 6)
            m_time->SetTime(fields[4], fields[5]);
        return;
    }
    if (wParam != kSearchDayListReady || !m_search)
        return;
    m_search->SetDateType(m_ctx.m_nDateType);
    std::vector<std::string> days;
    m_search->GetDateList(days);
    FillDayList(days);
}

void CBackupPreviewDlg::FillDayList(std::vector<std::string> days) {
    // The today limit lists the days from the window start's day on.
    std::string oldest;
    if (m_app.m_bTodayLimit)
        oldest = LocalDayDigits(static_cast<std::time_t>(m_search ? m_search->WindowStart()
                                                                  : std::time(nullptr) - 86400));
    const int added = m_days->Fill(DaysToList(std::move(days), oldest), m_ctx.m_nDateType);
    if (m_search)
        m_search->Search_Stop();
    if (added == 0)
        return;
    m_days->PickFirst();
    LoadPickedDay();
}

void CBackupPreviewDlg::LoadPickedDay() {
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_days->Picked(), m_ctx.m_nDateType));
    if (dayPicked_)
        dayPicked_(m_days->Picked());
}

bool CBackupPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the day list picks the day; it must not reach the dialog's default button,
    // which would start a backup.
    if (watched == m_days->Widget() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnDateListClick(m_days->CurrentRow());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBackupPreviewDlg::RelabelDays() {
    m_days->Relabel(m_ctx.m_nDateType);
}

void CBackupPreviewDlg::OnDateListClick(int row) {
    if (row < 0 || row >= m_days->Widget()->topLevelItemCount())
        return;
    const std::string old = m_days->Picked();
    m_days->Pick(row);
    LoadPickedDay();
    if (m_days->Picked() == old)
        return;  // the same day again: its index is reloaded, playing goes on
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
    OnFirst();
    m_time->SetTime(0, 0);
    if (m_search)
        m_search->UpdateLatesttime(0, 0, 0, 0);
}
