#include "dialog/CQuillonDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <cctype>

#include "backup/DialogStart.h"
#include "backup/HostMessages.h"
#include "backup/disc/DiscBurn.h"
#include "backup/pass/BackupStart.h"
#include "backup/pass/PassEnd.h"
#include "backup/remote/RemoteBackup.h"
#include "backup/schedule/CameraSelection.h"
#include "backup/schedule/KeptCase.h"
#include "backup/schedule/ScheduleCommands.h"
#include "controls/CEzEdit.h"
#include "controls/ChildDialog.h"
#include "dialog/ControlQuery.h"
#include "dialog/Mnemonics.h"
#include "dialog/ProgramIcon.h"
#include "platform/DrivePaths.h"
#include "ports/CDvrSearchStatic2.h"
#include "preview/CBackupDataListDlg.h"
#include "preview/CBackupPreviewDlg.h"
#include "ui_CQuillonDlg.h"

namespace {

// WM_SYSCOMMAND's SC_CLOSE: the system menu's Close (Alt+F4).
constexpr std::uint64_t kScClose = 0xF060;

}  // namespace

CQuillonDlg::CQuillonDlg(CQuillonApp& app, IMessageBoxes& boxes, Companions companions,
                         QWidget* parent)
    : QDialog(parent),
      m_app(app),
      m_boxes(boxes),
      m_companions(companions),
      m_ui(new Ui::CQuillonDlg),
      m_controls((m_ui->setupUi(this), std::make_unique<DialogControls>(this))),
      m_view(new QtDialogView(this, *m_controls, boxes)),
      m_operatorView(*m_view, app, m_bInMessageBox),
      m_session(app, m_operatorView) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setWindowIcon(ProgramIcon());
    m_session.UseCompanions(companions.shareClient, companions.discWriter);
    m_session.UseExhibitPdf(companions.exhibitPdf);
    if (!companions.browser)
        m_ownBrowser = std::make_unique<QtFolderBrowser>();
    m_browser = companions.browser ? companions.browser : m_ownBrowser.get();
    // The about box, as the system menu of the original offers it.
    auto* about = new QAction("About Quillon Backup...", this);
    about->setShortcut(QKeySequence::HelpContents);
    connect(about, &QAction::triggered, this, [this] { OnAbout(); });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_operatorView.SetPassEndedHandler(
        [this] { m_view->RunOnUiThread([this] { m_session.TellPassOutcome(); }); });
    // The link's answers, each served on this thread in the order they came. Qt drops a queued
    // call whose window is gone.
    m_session.Inbox().SetArrivalHook([this] {
        QMetaObject::invokeMethod(
            this, [this] { m_session.Inbox().ServeNext(); }, Qt::QueuedConnection);
    });
    m_view->SetPreviewStateHandler([this](int mode) {
        if (m_dlgPreview)
            m_dlgPreview->SetPreviewControlsState(mode);
    });
    m_session.SetBaseFolder(platform::GetModulePath());
}

CQuillonDlg::~CQuillonDlg() {
    m_session.Inbox().SetArrivalHook(nullptr);
    // The client outlives the window: it must not hold on to the window's receiver, nor may a
    // download of this window's pass go on writing into the image once it is gone.
    m_session.LetGoOfLink();
    if (m_nTimerId)
        killTimer(m_nTimerId);
    StopListening();
    StopWorker();
    if (m_companions.discWriter)
        m_companions.discWriter->SetEventSink(nullptr);
}

void CQuillonDlg::SetBaseFolder(const std::string& base) {
    m_session.SetBaseFolder(base);
}

BOOL CQuillonDlg::OnInitDialog() {
    setWindowTitle("Backup");
    hide();
    // One copy per base folder: the machine's lock is the application's; this one keeps out a
    // copy started by another user on the same folder.
    auto folder =
        platform::NamedLock::AcquireFolder(platform::ResolvePath(m_session.BaseFolder()), false);
    if (folder.outcome == platform::NamedLock::Outcome::kHeldByOther) {
        m_operatorView.Tell(backup::Notice{m_app.GetLanguageText("BACKUP", "Q010002")});
        return 0;
    }
    m_baseLock = std::move(folder.lock);
    m_app.LoadSkinBitmaps();
    m_session.OpenBase();
    m_view->ShowItem(ctl::kStatusLine, false);
    m_session.ResetChoices();
    m_operatorView.LabelControls();
    AssignMnemonics(this);
    m_ui->c1074->SetEditFont(m_session.Profile());
    m_ui->c1074->SetLimitText(static_cast<int>(kMemoBytes));
    m_ui->c1134->setFont(EditFont(m_session.Profile()));
    // Short enough that what is kept is what the backup gets.
    for (QLineEdit* field : {m_ui->c1991, m_ui->c1992, m_ui->c1993})
        field->setMaxLength(static_cast<int>(backup::kKeptCaseFieldBytes / 4));
    const exhibit::CaseDetails kept = m_session.KeptCase();
    m_ui->c1991->setText(QString::fromStdString(kept.caseReference));
    m_ui->c1992->setText(QString::fromStdString(kept.exhibitNumber));
    m_ui->c1993->setText(QString::fromStdString(kept.operatorName));
    // The bar and the status line come and go with a pass: their room stays, so that the
    // window keeps its size and Start and Close stay where the pointer is.
    for (int id : {ctl::kProgress, ctl::kStatusLine}) {
        QWidget* w = Control(id);
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    m_view->ShowItem(ctl::kProgress, false);
    m_session.RestoreSchedule();
    m_view->EnableItem(ctl::kWriteSpeed, false);
    m_worker = m_session.NewWorker();
    // The end of a pass changes the schedule and the controls: the window's thread does it.
    m_worker->SetOwnerThread(
        [view = m_view](const std::function<void()>& call) { view->RunOnUiThread(call); });
    m_worker->StartMakeFileThread();
    // A writer that does not start is told with A010001, and the window opens anyway. Having
    // none at all (a build without disc writing, or no writer drive in the drive table) is a
    // writer that did not start.
    if (m_companions.discWriter)
        m_companions.discWriter->SetEventSink(this);
    const bool writerStarted = m_session.DiscWriterReady();
    m_view->ShowItem(ctl::kErase, false);
    m_view->ShowItem(ctl::kCapacityBar, false);

    m_dlgPreview = new CBackupPreviewDlg(m_app, m_session, m_companions.search);
    PlaceChildDialog(Control(ctl::kPreviewPlaceholder), m_dlgPreview);
    m_dlgPreview->hide();
    m_dlgPreview->SetDayPicked(
        [this](const std::string& label) { m_session.SelectDayLabel(label); });
    ConnectControls();
    StartListening();

    // Centred on the point (512, 384), whatever the screen.
    adjustSize();
    resize(size().expandedTo(QSize(1000, 640)));
    move(512 - width() / 2, 384 - height() / 2);
    m_nTimerId = startTimer(500);
    show();
    m_dlgPreview->show();
    m_dlgPreview->OnInitDialog();
    if (!m_dlgPreview->PreviewRect().isEmpty())
        m_dlgPreview->setMinimumWidth(m_dlgPreview->PreviewRect().width());
    // The writer's box over the window, once it is up: it holds nothing up, so that a host
    // finds and drives the window while it is open.
    if (!writerStarted) {
        m_bInMessageBox = 1;
        m_boxes.Tell(this, m_app.GetLanguageText("CDWRITER", "A010001"), "Backup",
                     [this] { m_bInMessageBox = 0; });
    }
    return 1;
}

void CQuillonDlg::ConnectControls() {
    using TimeCommand = void (backup::Session::*)(const backup::TimeFields&);
    auto combo = [this](int id, TimeCommand command) {
        connect(m_controls->Get<QComboBox>(id), &QComboBox::activated, this,
                [this, command] { (m_session.*command)(ReadTimeFields(*m_view)); });
    };
    combo(ctl::kStartHour, &backup::Session::StartHourChosen);
    // (Every change of the time range starts again at camera page 1.)
    combo(ctl::kEndHour, &backup::Session::EndHourChosen);
    combo(ctl::kStartMinute, &backup::Session::MinuteChosen);
    combo(ctl::kEndMinute, &backup::Session::MinuteChosen);
    auto button = [this](int id, std::function<void()> command) {
        connect(m_controls->Get<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [command] { command(); });
    };
    for (int i = 0; i < 16; ++i)
        button(ctl::kFirstCameraBox + i, [this, i] { m_session.ToggleCamera(i); });
    button(ctl::kPrevPage, [this] { m_session.PreviousCameraPage(); });
    button(ctl::kNextPage, [this] { m_session.NextCameraPage(); });
    button(ctl::kSelectAll, [this] { m_session.SelectAllCameras(); });
    button(ctl::kAdd, [this] { OnAdd(); });
    button(ctl::kDelete, [this] { OnDelete(); });
    button(ctl::kUpdate, [this] { m_session.UpdateMemo(); });
    button(ctl::kBrowse, [this] { OnBrowseTarget(); });
    button(ctl::kOk, [this] { OnOK(); });
    button(ctl::kCancel, [this] { OnCancel(); });
    button(ctl::kHistory, [this] { OnHistory(); });
    button(ctl::kErase, [this] { m_session.EraseDisc(); });
    auto* list = m_controls->Get<QListWidget>(ctl::kScheduleList);
    connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            OnSelchangeSchedule(row);
    });
    connect(list, &QListWidget::itemClicked, this,
            [this, list](QListWidgetItem* item) { OnSelchangeSchedule(list->row(item)); });
    list->viewport()->installEventFilter(this);
    connect(m_ui->c1074, &QPlainTextEdit::textChanged, this,
            [this] { m_session.MemoEdited(m_ui->c1074->toPlainText().toStdString()); });
    // The case is kept with the schedule as it is typed: the window opened again shows it.
    for (QLineEdit* field : {m_ui->c1991, m_ui->c1992, m_ui->c1993})
        connect(field, &QLineEdit::textEdited, this, [this] { m_session.KeepCase(CaseFields()); });
}

exhibit::CaseDetails CQuillonDlg::CaseFields() const {
    return {m_ui->c1991->text().toStdString(), m_ui->c1992->text().toStdString(),
            m_ui->c1993->text().toStdString()};
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

void CQuillonDlg::StopPreviewPlayback() {
    if (m_companions.search)
        m_companions.search->Search_Stop();
    if (m_dlgPreview)
        m_dlgPreview->LockTimeSelection(false);
}

void CQuillonDlg::OnAdd() {
    StopPreviewPlayback();
    m_session.AddEntry(ReadTimeFields(*m_view));
}

void CQuillonDlg::OnDelete() {
    StopPreviewPlayback();
    m_session.DeletePickedEntry();
}

void CQuillonDlg::OnSelchangeSchedule(int row) {
    m_session.PickEntry(row);
}

void CQuillonDlg::OnBrowseTarget(const std::string* hostFolder) {
    StopPreviewPlayback();
    std::string chosen;
    if (hostFolder) {
        chosen = *hostFolder;
    } else {
        m_bInMessageBox = 1;
        chosen = m_browser->Browse(this, "Select Backup Path.", "C:\\");
        m_bInMessageBox = 0;
    }
    if (chosen.empty())
        return;
    // A drive path as it is (a disc writer has no folder: "D:\"); a host folder as the drive
    // path of the drive that holds it. One outside every drive keeps its first character, which
    // names no drive and is refused.
    const bool drivePath = chosen.size() >= 2 && chosen[1] == ':' &&
                           std::isalpha(static_cast<unsigned char>(chosen[0]));
    m_session.ChooseTarget(drivePath ? chosen : platform::ToDrivePath(chosen));
}

void CQuillonDlg::OnOK() {
    StopPreviewPlayback();
    StartOptions options;
    options.includeViewer = m_view->IsItemChecked(ctl::kIncludeViewer);
    options.writeSpeedRow = m_view->GetItemRow(ctl::kWriteSpeed);
    options.caseDetails = CaseFields();
    m_session.StartPass(*m_worker, options);
}

void CQuillonDlg::OnCancel() {
    const CancelOutcome outcome = m_session.Cancel();
    if (outcome == CancelOutcome::kClose)
        done(QDialog::Rejected);
}

void CQuillonDlg::OnHistory() {
    const std::string drive = m_session.HistoryDrive();
    if (drive.empty())
        return;
    CBackupDataListDlg history(this);
    history.m_pMainDlg = this;
    history.m_strFolder = drive;
    const backup::HostSettings host = m_session.Host();
    history.m_nCamCount = host.camCount;
    history.m_nDateType = host.dateType;
    history.OnInitDialog();
    history.exec();
}

void CQuillonDlg::OnAbout() {
    m_bInMessageBox = 1;
    QMessageBox::about(this, "About Backup", QString("Quillon Backup %1").arg(QUILLON_VERSION));
    m_bInMessageBox = 0;
}

void CQuillonDlg::StartListening() {
    m_bServingBus = true;
    auto listened = platform::BusWindow::Listen("Backup", [this](const platform::BusMessage& m) {
        platform::BusReply reply;
        if (!m_bServingBus)
            return reply;
        // A click runs once the sender has its answer: a command may open a box that waits
        // for the operator, and the sender must not wait with it.
        if (m.message == platform::WM_COMMAND) {
            QMetaObject::invokeMethod(
                this, [this, m] { OnBusMessage(m); }, Qt::QueuedConnection);
            return reply;
        }
        QMetaObject::invokeMethod(
            this, [&] { reply = OnBusMessage(m); }, Qt::BlockingQueuedConnection);
        return reply;
    });
    // Without the bus the window still works; no host can reach it then.
    if (listened)
        m_bus = std::move(*listened);
}

void CQuillonDlg::StopListening() {
    if (!m_bus)
        return;
    m_bServingBus = false;
    m_bus->Stop();
    // A message being handled waits for this thread: serve it before the listener goes.
    while (!m_bus->finished())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    m_bus.reset();
}

platform::BusReply CQuillonDlg::OnBusMessage(const platform::BusMessage& m) {
    platform::BusReply reply;
    switch (m.message) {
        case platform::WM_COPYDATA: {
            const int dateType = m_session.Host().dateType;
            m_session.HostRecord(m.data);
            // Labels already shown are read back in the date type: they must be in the new one.
            if (m_session.Host().dateType != dateType) {
                m_session.Relist();
                if (m_dlgPreview)
                    m_dlgPreview->RelabelDays();
            }
            reply.result = 1;
            break;
        }
        case kMsgDriveList:
            m_session.DriveList(static_cast<DWORD>(m.wParam));
            break;
        case kMsgDownloadProgress:
            m_session.DownloadProgress(m.data);
            break;
        case platform::WM_SYSCOMMAND:
            // The low four bits of the command are the system's own. Both run once
            // the sender has its answer, as a click does: either may open a box.
            if ((m.wParam & ~std::uint64_t{0xF}) == 0x10)
                QMetaObject::invokeMethod(
                    this, [this] { OnAbout(); }, Qt::QueuedConnection);
            else if ((m.wParam & ~std::uint64_t{0xF}) == kScClose)
                // The system menu's Close: the window's close, as its title bar's button.
                QMetaObject::invokeMethod(
                    this, [this] { close(); }, Qt::QueuedConnection);
            break;
        case platform::WM_COMMAND: {
            // A click of the control it names, as the control's own click: the command runs
            // whether or not the button could be pressed by hand, and refuses by its own checks.
            const int id = static_cast<int>(m.wParam & 0xFFFF);
            if (auto* b = m_controls->Get<QAbstractButton>(id)) {
                if (b->isCheckable())
                    b->setChecked(!b->isChecked());
                emit b->clicked(b->isChecked());
            }
            break;
        }
        case platform::kMsgQueryControl: {
            const ControlState state = QueryControl(Control(static_cast<int>(m.wParam)), this);
            reply.result = state.result;
            reply.data = state.text;
            break;
        }
        case kMsgChooseTarget:
            OnBrowseTarget(&m.data);
            break;
        default:
            break;
    }
    return reply;
}

void CQuillonDlg::OnWriterEvent(const WriterEvent& event) {
    m_session.WriterReported(event);
}

bool CQuillonDlg::OwnWindowOpen() const {
    // A modal one of any kind (a box, the History dialog, the folder browser, the about box)...
    if (QApplication::activeModalWidget())
        return true;
    // ...or any other window of the program that is shown, modal or not.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible() && w->isWindow() &&
            (qobject_cast<QDialog*>(w) || w->windowType() == Qt::Popup ||
             w->windowType() == Qt::Tool))
            return true;
    return false;
}

void CQuillonDlg::timerEvent(QTimerEvent* event) {
    // Kept in front, but never over one of its own boxes or dialogs: raised over the History
    // dialog or a box, the program would look frozen.
    if (event->timerId() == m_nTimerId && !isActiveWindow() && !m_bInMessageBox &&
        !OwnWindowOpen()) {
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
