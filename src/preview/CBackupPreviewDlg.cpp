#include "preview/CBackupPreviewDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>

#include "app/CConvertDateType.h"
#include "app/CHKLM.h"
#include "controls/CxSkinButton.h"
#include "skin/SkinPositions.h"
#include "storage/RecordedDays.h"

namespace {

struct ButtonSkin {
    int id;
    const char* key;
    const char* tooltip;
};

// In the order the bar shows them.
constexpr ButtonSkin kButtons[7] = {
    {ctl::kViewFirst, "ViewFirst", "B010008"},     {ctl::kViewPrevious, "ViewPrevious", "B010009"},
    {ctl::kViewReverse, "ViewReverse", "B010010"}, {ctl::kViewStop, "ViewStop", "B010011"},
    {ctl::kViewForward, "ViewForward", "B010012"}, {ctl::kViewNext, "ViewNext", "B010013"},
    {ctl::kViewLast, "ViewLast", "B010014"},
};

QString Two(int v) {
    return QString("%1").arg(v, 2, 10, QChar('0'));
}

QLabel* Caption(int id, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString("c%1").arg(id));
    return label;
}

QRect RectOf(const skin::ButtonPosition& p) {
    return QRect(p.x, p.y, p.w, p.h);
}

}  // namespace

CBackupPreviewDlg::CBackupPreviewDlg(CQuillonApp& app, BackupContext& ctx,
                                     CDvrSearchStatic2* search, QWidget* parent)
    : QWidget(parent), m_app(app), m_ctx(ctx), m_search(search) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    m_dateCaption = Caption(ctl::kDayListCaption, this);
    m_listDate = new QTreeWidget(this);
    m_listDate->setObjectName("c1116");
    m_listDate->setRootIsDecorated(false);
    m_listDate->setColumnCount(1);
    m_listDate->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listDate->setMaximumHeight(140);
    m_dateCaption->setBuddy(m_listDate);
    layout->addWidget(m_dateCaption);
    layout->addWidget(m_listDate);

    // The picture area is the playback component itself when it is a window; else a dark
    // place for it.
    m_pictureArea = dynamic_cast<QWidget*>(search);
    if (!m_pictureArea) {
        m_pictureArea = new QWidget(this);
        m_pictureArea->setObjectName("c1105");
        m_pictureArea->setAutoFillBackground(true);
        QPalette dark = m_pictureArea->palette();
        dark.setColor(QPalette::Window, Qt::black);
        m_pictureArea->setPalette(dark);
    }
    // A dark screen holds the picture area, which stays hidden until the first picture.
    auto* screen = new QWidget(this);
    screen->setAutoFillBackground(true);
    QPalette screenPalette = screen->palette();
    screenPalette.setColor(QPalette::Window, Qt::black);
    screen->setPalette(screenPalette);
    auto* screenLayout = new QVBoxLayout(screen);
    screenLayout->setContentsMargins(0, 0, 0, 0);
    m_pictureArea->setParent(screen);
    m_pictureArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    screenLayout->addWidget(m_pictureArea);
    screen->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_screen = screen;
    layout->addWidget(screen, 1);

    auto* choice = new QHBoxLayout;
    QLabel* cameraCaption = Caption(ctl::kPlayCameraCaption, this);
    m_cbCamera = new QComboBox(this);
    m_cbCamera->setObjectName("c1115");
    cameraCaption->setBuddy(m_cbCamera);
    QLabel* hourCaption = Caption(ctl::kPlayHourCaption, this);
    m_cbHour = new QComboBox(this);
    m_cbHour->setObjectName("c1132");
    hourCaption->setBuddy(m_cbHour);
    QLabel* minuteCaption = Caption(ctl::kPlayMinuteCaption, this);
    m_cbMinute = new QComboBox(this);
    m_cbMinute->setObjectName("c1133");
    minuteCaption->setBuddy(m_cbMinute);
    for (QWidget* w : std::initializer_list<QWidget*>{cameraCaption, m_cbCamera, hourCaption,
                                                      m_cbHour, minuteCaption, m_cbMinute})
        choice->addWidget(w);
    choice->addStretch(1);
    layout->addLayout(choice);

    // The buttons are placed by their btn.pos entries inside the bar.
    auto* transport = new QHBoxLayout;
    m_buttonBar = new QWidget(this);
    for (std::size_t i = 0; i < 7; ++i) {
        auto* b = new CxSkinButton(m_buttonBar);
        b->setObjectName(QString("c%1").arg(kButtons[i].id));
        m_buttons[static_cast<std::size_t>(kButtons[i].id - ctl::kViewFirst)] = b;
    }
    transport->addWidget(m_buttonBar);
    // The speed slider and its labels stay hidden, as the dialog has them.
    m_sliderSpeed = new QSlider(Qt::Horizontal, this);
    m_sliderSpeed->setObjectName("c1122");
    for (QWidget* w : std::initializer_list<QWidget*>{Caption(ctl::kSpeedCaption, this),
                                                      Caption(ctl::kSpeedSlow, this), m_sliderSpeed,
                                                      Caption(ctl::kSpeedFast, this)}) {
        transport->addWidget(w);
        w->hide();
    }
    transport->addStretch(1);
    layout->addLayout(transport);

    connect(m_listDate, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        OnDateListClick(m_listDate->indexOfTopLevelItem(item));
    });
    // The arrow keys move the pick as a click does (a click is handled as a click).
    connect(m_listDate, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_bFilling && item && QApplication::mouseButtons() == Qt::NoButton)
            OnDateListClick(m_listDate->indexOfTopLevelItem(item));
    });
    m_listDate->installEventFilter(this);
    connect(Button(ctl::kViewFirst), &QAbstractButton::clicked, this, [this] { OnFirst(); });
    connect(Button(ctl::kViewPrevious), &QAbstractButton::clicked, this,
            [this] { OnPreviousFrame(); });
    connect(Button(ctl::kViewReverse), &QAbstractButton::clicked, this, [this] { OnReverse(); });
    connect(Button(ctl::kViewStop), &QAbstractButton::clicked, this, [this] { OnStop(); });
    connect(Button(ctl::kViewForward), &QAbstractButton::clicked, this, [this] { OnForward(); });
    connect(Button(ctl::kViewNext), &QAbstractButton::clicked, this, [this] { OnNextFrame(); });
    connect(Button(ctl::kViewLast), &QAbstractButton::clicked, this, [this] { OnLast(); });
    connect(m_cbCamera, &QComboBox::activated, this, [this](int index) { OnCameraChange(index); });
    connect(m_cbHour, &QComboBox::activated, this, [this] { OnTimeChange(); });
    connect(m_cbMinute, &QComboBox::activated, this, [this] { OnTimeChange(); });
    connect(m_sliderSpeed, &QSlider::valueChanged, this,
            [this](int pos) { OnSpeedMessage(ctl::kSpeedSlider, pos); });
}

CBackupPreviewDlg::~CBackupPreviewDlg() {
    // The component is the main dialog's companion, not ours to delete.
    if (dynamic_cast<QWidget*>(m_search) == m_pictureArea)
        m_pictureArea->setParent(nullptr);
}

CxSkinButton* CBackupPreviewDlg::Button(int id) const {
    const int i = id - ctl::kViewFirst;
    return i >= 0 && i < 7 ? m_buttons[static_cast<std::size_t>(i)] : nullptr;
}

void CBackupPreviewDlg::OnInitDialog() {
    const std::string positions = skin::ButtonPositionFile(m_app.m_strExePath);
    m_rcPreviewWnd = RectOf(skin::ReadButtonPosition(positions, "BackupDlg", "PreviewWnd"));

    const SkinBitmaps bitmaps = SkinBitmaps::FromFiles(m_app.m_bmpSkin);
    QRect bar;
    for (const ButtonSkin& s : kButtons) {
        CxSkinButton* b = Button(s.id);
        b->SetSkinPath(m_app.m_strExePath);
        b->SetLanguageFile(m_app.LanguageFile());
        b->SetSkinInfo("BackupDlg", s.key, "BackupDlg", s.key, 0xFFFFFF, bitmaps);
        const std::string tip = m_app.GetLanguageText("BACKUP", s.tooltip);
        b->SetToolTipText(tip);
        b->setAccessibleName(QString::fromStdString(tip));  // the buttons show no words
        bar = bar.united(b->geometry());
    }
    m_buttonBar->setFixedSize(bar.right() + 3, bar.bottom() + 3);
    // The picture area grows with the window from its btn.pos size.
    const QRect view = RectOf(skin::ReadButtonPosition(positions, "BackupDlg", "ViewDisp"));
    if (!view.isEmpty())
        m_screen->setMinimumSize(view.size());
    {
        const QSignalBlocker quiet(m_sliderSpeed);  // setting it up is no speed change
        m_sliderSpeed->setRange(0, 10);
        m_sliderSpeed->setValue(5);
    }

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    if (m_search) {
        m_search->SetTodayLimit(m_app.m_bTodayLimit != 0);
        m_search->SetTimeWindow(now, now - 86400);
        m_search->SetDriveLayout(m_app.m_bUseDrives != 0);
        m_search->SetColorFormat(m_app.m_bColorFormat != 0);
    }
    m_fontList = QFont("Arial");
    m_fontList.setPixelSize(15);
    m_fontList.setWeight(QFont::Black);
    m_fontList.setStyleHint(QFont::SansSerif);
    m_listDate->setFont(m_fontList);
    QPalette p = m_listDate->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    m_listDate->setPalette(p);
    if (m_search) {
        const int channels = m_app.m_nChannelsPerUnit * m_app.m_nUnitCount;
        if (m_ctx.m_bLocalMode)
            m_search->InitSearchInfo(this, 0, 0, channels, "", 0, 22001);
        else
            m_search->InitSearchInfo(this, 1, 0, channels, m_ctx.m_strServerAddress,
                                     m_ctx.m_nPort - 2, 22001);
    }
    m_listDate->setHeaderLabels({"Date"});
    m_listDate->header()->resizeSection(0, 90);
    SelectCamera(0);
    if (m_search)
        m_search->SetZoom(4);
    m_pictureArea->setVisible(false);  // until the first picture is asked for

    for (int c = 1; c <= m_ctx.m_nCamCount; ++c)
        m_cbCamera->addItem(QString::number(c));
    m_cbCamera->setCurrentIndex(m_cbCamera->count() > 0 ? 0 : -1);
    for (int h = 0; h < 24; ++h)
        m_cbHour->addItem(Two(h));
    for (int m = 0; m < 60; ++m)
        m_cbMinute->addItem(Two(m));
    m_cbHour->setCurrentIndex(0);
    m_cbMinute->setCurrentIndex(0);

    for (const auto& [id, key] :
         {std::pair{ctl::kDayListCaption, "B010001"}, std::pair{ctl::kPlayCameraCaption, "B010002"},
          std::pair{ctl::kSpeedCaption, "B010003"}, std::pair{ctl::kSpeedSlow, "B010004"},
          std::pair{ctl::kSpeedFast, "B010005"}, std::pair{ctl::kPlayHourCaption, "B010006"},
          std::pair{ctl::kPlayMinuteCaption, "B010007"}})
        if (auto* label = findChild<QLabel*>(QString("c%1").arg(id)))
            label->setText(QString::fromStdString(m_app.GetLanguageText("BACKUP", key)));

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
    for (CxSkinButton* b : m_buttons)
        b->setEnabled(on);
    for (QWidget* w : std::initializer_list<QWidget*>{m_cbCamera, m_listDate, m_sliderSpeed,
                                                      m_cbHour, m_cbMinute})
        w->setEnabled(on);
}

void CBackupPreviewDlg::LockTimeSelection(bool playing) {
    m_cbHour->setEnabled(!playing);
    m_cbMinute->setEnabled(!playing);
}

void CBackupPreviewDlg::SelectCamera(int camera) {
    const DVR_SEARCHCAM cams = OneCamera(camera);
    if (!m_search)
        return;
    m_search->SetSearchCam(cams);
    m_search->SetOneChannelMode(camera);
}

void CBackupPreviewDlg::SetTimeCombos(int hour, int minute) {
    if (hour == m_cbHour->currentIndex() && minute == m_cbMinute->currentIndex())
        return;
    m_cbHour->setCurrentIndex(hour);
    m_cbMinute->setCurrentIndex(minute);
}

PlayTime CBackupPreviewDlg::TakeTime() const {
    return PlayTimeOf(m_ctx.m_strSelDate, m_cbHour->currentIndex(), m_cbMinute->currentIndex());
}

void CBackupPreviewDlg::ShowPictureArea() {
    m_pictureArea->setVisible(true);
}

void CBackupPreviewDlg::OnFirst() {
    SetTimeCombos(0, 0);
    if (m_search)
        m_search->Search_Return();
}

void CBackupPreviewDlg::OnLast() {
    SetTimeCombos(23, 59);
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
                SetTimeCombos(local.tm_hour, local.tm_min);
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
        m_search->UpdateLatesttime(m_cbHour->currentIndex(), m_cbMinute->currentIndex(), 0, 0);
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
            SetTimeCombos(fields[4], fields[5]);
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
    m_saListedDates.clear();
    // The today limit lists the days from the window start's day on.
    std::string oldest;
    if (m_app.m_bTodayLimit)
        oldest = LocalDayDigits(static_cast<std::time_t>(m_search ? m_search->WindowStart()
                                                                  : std::time(nullptr) - 86400));
    days = DaysToList(std::move(days), oldest);
    const CConvertDateType convert;
    int added = 0;
    m_bFilling = true;
    for (const auto& day : days) {
        const std::string label =
            convert.DateToDisplay(day, static_cast<unsigned>(m_ctx.m_nDateType));
        m_listDate->insertTopLevelItem(added++,
                                       new QTreeWidgetItem({QString::fromStdString(label)}));
        m_saListedDates << QString::fromStdString(day);
    }
    m_bFilling = false;
    if (m_search)
        m_search->Search_Stop();
    if (added == 0)
        return;
    m_bFilling = true;
    m_listDate->setCurrentItem(m_listDate->topLevelItem(0));
    m_bFilling = false;
    m_strSelDate = m_listDate->topLevelItem(0)->text(0).toStdString();
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_strSelDate, m_ctx.m_nDateType));
    if (dayPicked_)
        dayPicked_(m_strSelDate);
}

bool CBackupPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the day list picks the day; it must not reach the dialog's default button,
    // which would start a backup.
    if (watched == m_listDate && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnDateListClick(m_listDate->indexOfTopLevelItem(m_listDate->currentItem()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBackupPreviewDlg::RelabelDays() {
    const CConvertDateType convert;
    const int picked = m_listDate->indexOfTopLevelItem(m_listDate->currentItem());
    m_bFilling = true;
    for (int i = 0; i < m_listDate->topLevelItemCount() && i < m_saListedDates.size(); ++i)
        m_listDate->topLevelItem(i)->setText(
            0, QString::fromStdString(convert.DateToDisplay(
                   m_saListedDates[i].toStdString(), static_cast<unsigned>(m_ctx.m_nDateType))));
    m_bFilling = false;
    if (picked >= 0 && !m_strSelDate.empty())
        m_strSelDate = m_listDate->topLevelItem(picked)->text(0).toStdString();
}

void CBackupPreviewDlg::OnDateListClick(int row) {
    if (row < 0 || row >= m_listDate->topLevelItemCount())
        return;
    const std::string old = m_strSelDate;
    m_strSelDate = m_listDate->topLevelItem(row)->text(0).toStdString();
    if (m_search)
        m_search->GetDayIndexInfo(LabelToDayKey(m_strSelDate, m_ctx.m_nDateType));
    if (dayPicked_)
        dayPicked_(m_strSelDate);
    if (m_strSelDate == old)
        return;  // the same day again: its index is reloaded, playing goes on
    if (m_search)
        m_search->Search_Stop();
    LockTimeSelection(false);
    OnFirst();
    m_cbHour->setCurrentIndex(0);
    m_cbMinute->setCurrentIndex(0);
    if (m_search)
        m_search->UpdateLatesttime(0, 0, 0, 0);
}
