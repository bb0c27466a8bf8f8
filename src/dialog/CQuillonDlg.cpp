#include "dialog/CQuillonDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>

#include "backup/BackupStart.h"
#include "backup/CameraSelection.h"
#include "backup/ControlsState.h"
#include "backup/DialogStart.h"
#include "backup/ScheduleCommands.h"
#include "companions/CDvrSearchStatic2.h"
#include "controls/CEzEdit.h"
#include "controls/ChildDialog.h"
#include "dialog/Mnemonics.h"
#include "platform/DrivePaths.h"
#include "preview/CBackupPreviewDlg.h"
#include "ui_CQuillonDlg.h"

CQuillonDlg::CQuillonDlg(CQuillonApp& app, IMessageBoxes& boxes, Companions companions,
                         QWidget* parent)
    : QDialog(parent),
      m_app(app),
      m_boxes(boxes),
      m_companions(companions),
      m_ui(new Ui::CQuillonDlg),
      m_controls((m_ui->setupUi(this), std::make_unique<DialogControls>(this))),
      m_view(new QtDialogView(this, *m_controls, boxes)),
      m_ctx(app, *m_view) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
    m_ctx.m_shareClient = companions.shareClient;
    m_ctx.m_discWriter = companions.discWriter;
    m_view->SetMessageHandler([this](DWORD message, std::uintptr_t wParam, std::intptr_t lParam) {
        if (message == kMsgShareAnswer)
            OnShareClientMessage(wParam, lParam);
    });
    m_view->SetPreviewStateHandler([this](int mode) {
        if (m_dlgPreview)
            m_dlgPreview->SetPreviewControlsState(mode);
    });
    m_ctx.m_strExePath = platform::GetModulePath();
}

CQuillonDlg::~CQuillonDlg() {
    if (m_nTimerId)
        killTimer(m_nTimerId);
    StopWorker();
}

void CQuillonDlg::SetBaseFolder(const std::string& base) {
    m_ctx.m_strExePath = base.empty() || base.back() == '\\' ? base : base + "\\";
}

BOOL CQuillonDlg::OnInitDialog() {
    setWindowTitle("Backup");
    hide();
    m_ctx.m_nTotalSize = 0;
    // One copy per base folder: the machine's lock is the application's; this one keeps out a
    // copy started by another user on the same folder.
    auto folder =
        platform::NamedLock::AcquireFolder(platform::ResolvePath(m_ctx.m_strExePath), false);
    if (folder.outcome == platform::NamedLock::Outcome::kHeldByOther) {
        m_ctx.ShowMessage(m_ctx.GetLanguageText("BACKUP", "Q010002"));
        return 0;
    }
    m_baseLock = std::move(folder.lock);
    m_ctx.m_profile.SetExePath(m_ctx.m_strExePath, m_ctx.m_strExePath, m_ctx.m_strLanguage,
                               m_ctx.m_bLocalMode);
    m_app.LoadSkinBitmaps();
    SetStartValues(m_ctx, m_app);
    m_view->ShowItem(ctl::kStatusLine, false);
    ReadEditFont(m_ctx.m_profile);
    ResetControls(m_ctx);
    LabelControls(m_ctx);
    AssignMnemonics(this);
    m_ui->c1074->SetEditFont(m_ctx.m_profile);
    m_ui->c1074->SetLimitText(static_cast<int>(kMemoBytes));
    m_ui->c1134->setFont(EditFont(m_ctx.m_profile));
    m_view->ShowItem(ctl::kProgress, false);
    RestoreSchedule(m_ctx);
    m_view->EnableItem(ctl::kWriteSpeed, false);
    m_worker = std::make_unique<BackupWorker>(m_ctx);
    m_worker->StartMakeFileThread();
    m_view->ShowItem(ctl::kErase, false);
    m_view->ShowItem(ctl::kCapacityBar, false);

    m_dlgPreview = new CBackupPreviewDlg(m_app, m_ctx, m_companions.search);
    PlaceChildDialog(Control(ctl::kPreviewPlaceholder), m_dlgPreview);
    m_dlgPreview->hide();
    m_dlgPreview->SetDayPicked([this](const std::string& label) {
        SelectBackupDayLabel(m_ctx, label);
        ShowCameraPage();
    });
    ConnectControls();
    ShowCameraPage();

    // Centred on the point (512, 384), whatever the screen.
    adjustSize();
    resize(size().expandedTo(QSize(1000, 640)));
    move(512 - width() / 2, 384 - height() / 2);
    m_nTimerId = startTimer(500);
    show();
    m_dlgPreview->show();
    m_dlgPreview->OnInitDialog();
    return 1;
}

void CQuillonDlg::ConnectControls() {
    auto combo = [this](int id, void (*command)(BackupContext&)) {
        connect(m_controls->Get<QComboBox>(id), &QComboBox::activated, this, [this, command] {
            command(m_ctx);
            ShowCameraPage();
        });
    };
    combo(ctl::kStartHour, &OnSelchangeStartHour);
    // (Every change of the time range starts again at camera page 1.)
    combo(ctl::kEndHour, &OnSelchangeEndHour);
    combo(ctl::kStartMinute, &OnSelchangeMinute);
    combo(ctl::kEndMinute, &OnSelchangeMinute);
    auto button = [this](int id, std::function<void()> command) {
        connect(m_controls->Get<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, command] {
                    command();
                    ShowCameraPage();
                });
    };
    for (int i = 0; i < 16; ++i)
        button(ctl::kFirstCameraBox + i,
               [this, i] { OnCameraBox(m_ctx, ctl::kFirstCameraBox + i); });
    button(ctl::kPrevPage, [this] { OnPrevPage(m_ctx); });
    button(ctl::kNextPage, [this] { OnNextPage(m_ctx); });
    button(ctl::kSelectAll, [this] { OnSelectAllCameras(m_ctx); });
    button(ctl::kAdd, [this] { OnAdd(); });
    button(ctl::kDelete, [this] { OnDelete(); });
    button(ctl::kUpdate, [this] { ::OnUpdateMemo(m_ctx); });
    button(ctl::kCancel, [this] { OnCancel(); });
    auto* list = m_controls->Get<QListWidget>(ctl::kScheduleList);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            OnSelchangeSchedule(row);
    });
    connect(list, &QListWidget::itemClicked, this,
            [this, list](QListWidgetItem* item) { OnSelchangeSchedule(list->row(item)); });
    list->viewport()->installEventFilter(this);
    connect(m_ui->c1074, &QPlainTextEdit::textChanged, this,
            [this] { ::OnChangeMemo(m_ctx, m_ui->c1074->toPlainText().toStdString()); });
}

bool CQuillonDlg::eventFilter(QObject* watched, QEvent* event) {
    // A click on the schedule list where it has no row picks nothing, which the list command
    // refuses.
    auto* list = m_controls->Get<QListWidget>(ctl::kScheduleList);
    if (event->type() == QEvent::MouseButtonPress && list && watched == list->viewport() &&
        !list->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        list->clearSelection();
        OnSelchangeSchedule(-1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CQuillonDlg::ShowCameraPage() {
    m_ui->pageLabel->setText(
        QString("%1/%2").arg(m_ctx.m_nCamPage + 1).arg(LastCameraPage(m_ctx.m_nCamCount) + 1));
}

void CQuillonDlg::StopPreviewPlayback() {
    if (m_companions.search)
        m_companions.search->Search_Stop();
}

void CQuillonDlg::OnAdd() {
    StopPreviewPlayback();
    ::OnAdd(m_ctx);
}

void CQuillonDlg::OnDelete() {
    StopPreviewPlayback();
    ::OnDelete(m_ctx);
}

void CQuillonDlg::OnSelchangeSchedule(int row) {
    m_ctx.m_nListSel = row;
    ::OnSelchangeSchedule(m_ctx);
}

void CQuillonDlg::OnCancel() {
    if (m_ctx.m_bBackupRunning) {
        CancelRunningBackup(m_ctx);
        return;
    }
    done(QDialog::Rejected);
}

void CQuillonDlg::OnShareClientMessage(std::uintptr_t code, std::intptr_t) {
    if (code == 100) {  // the worker finished a folder backup
        m_view->ShowItem(ctl::kStatusLine, false);
        m_ctx.ShowMessage(m_ctx.GetLanguageText("BACKUP", "M010014"));
    }
}

void CQuillonDlg::timerEvent(QTimerEvent* event) {
    // Kept in front, but never over one of its own message boxes.
    if (event->timerId() == m_nTimerId && !isActiveWindow() && !m_ctx.m_bInMessageBox) {
        raise();
        activateWindow();
    }
    QDialog::timerEvent(event);
}

void CQuillonDlg::reject() {
    OnCancel();
}

void CQuillonDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnCancel();
}

void CQuillonDlg::StopWorker() {
    if (!m_worker)
        return;
    m_worker->RequestStop();
    // Ten polls of 100 ms at most, serving what the worker still asks of the window meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (!m_worker->finished() && waited.elapsed() < 1000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    m_view->StopServing();
    m_worker->StopMakeFileThread();
    m_worker.reset();
}
