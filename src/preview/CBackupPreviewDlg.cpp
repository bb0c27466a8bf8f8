#include "preview/CBackupPreviewDlg.h"

#include <QComboBox>
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

CBackupPreviewDlg::CBackupPreviewDlg(CQuillonApp& app, backup::Session& session,
                                     CDvrSearchStatic2* search, QWidget* parent)
    : QWidget(parent), m_app(app), m_session(session), m_search(search) {
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
        const backup::HostSettings host = m_session.Host();
        if (host.localMode)
            m_search->InitSearchInfo(this, 0, 0, channels, "", 0, 22001);
        else
            m_search->InitSearchInfo(this, 1, 0, channels, host.serverAddress, host.port - 2,
                                     22001);
    }
    SelectCamera(0);
    if (m_search)
        m_search->SetZoom(4);
    m_screen->PictureArea()->setVisible(false);  // until the first picture is asked for

    m_time->Fill(m_session.Host().camCount);
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
