#pragma once
// The operator's window: the preview on the left, day, time and camera selection, the schedule
// and the storage target on the right. It holds the operator's session, the backup
// worker and the preview, and turns every click into the core's command of that name.
#include <QDialog>
#include <memory>

#include "app/CQuillonApp.h"
#include "backup/Session.h"
#include "backup/pass/BackupWorker.h"
#include "dialog/ControlsView.h"
#include "dialog/DialogControls.h"
#include "dialog/FolderBrowser.h"
#include "dialog/MessageBoxes.h"
#include "dialog/QtDialogView.h"
#include "platform/MessageBus.h"
#include "platform/NamedLock.h"
#include "ports/CDVDWriterPro2.h"

namespace Ui {
class CQuillonDlg;
}
class CBackupPreviewDlg;
class CDvrSearchStatic2;

// The companions the program has (any may be null), and the folder browser when not the
// system's own.
struct DialogCompanions {
    CDvrSearchStatic2* search = nullptr;
    backup::RemoteRecorder* shareClient = nullptr;
    CDVDWriterPro2* discWriter = nullptr;
    IFolderBrowser* browser = nullptr;
    ports::IExhibitPdf* exhibitPdf = nullptr;  // sets the images' REPORT.pdf (null: none)
};

class CQuillonDlg : public QDialog, public IDiscWriterEvents {
    Q_OBJECT
  public:
    using Companions = DialogCompanions;

    CQuillonDlg(CQuillonApp& app, IMessageBoxes& boxes, Companions companions = Companions(),
                QWidget* parent = nullptr);
    ~CQuillonDlg() override;

    // The base folder (below which "Reserved" lies) as a drive path; the program folder unless
    // set before the start.
    void SetBaseFolder(const std::string& base);
    // The start of the dialog, in its order: values, labels, the saved schedule, the worker,
    // the preview, the place on the screen, the keep-in-front timer. FALSE when another copy
    // uses the base folder (the dialog then ends without a window).
    BOOL OnInitDialog();

    backup::Session& session() { return m_session; }
    const std::atomic<BOOL>& inMessageBox() const { return m_bInMessageBox; }
    const DialogControls& controls() const { return *m_controls; }
    QWidget* Control(int id) const { return m_controls->Find(id); }
    CBackupPreviewDlg* preview() const { return m_dlgPreview; }
    QtDialogView& view() { return *m_view; }

    // The commands of the schedule and the selection, as the buttons run them.
    void OnAdd();
    void OnDelete();
    void OnSelchangeSchedule(int row);
    // "...": the folder browser, then the target's kind by its drive. hostFolder, when given,
    // is taken as the browser's answer.
    void OnBrowseTarget(const std::string* hostFolder = nullptr);
    void OnOK();
    void OnCancel();
    void OnHistory();
    void OnAbout();
    // A message from outside (the host, a script): answered on the window's own thread.
    platform::BusReply OnBusMessage(const platform::BusMessage& m);
    // The disc writer's events, on this thread.
    void OnWriterEvent(const WriterEvent& event) override;

  protected:
    void timerEvent(QTimerEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ConnectControls();
    void StartListening();
    void StopListening();
    void StopPreviewPlayback();
    // The case, exhibit and operator as the fields beside the memo hold them.
    exhibit::CaseDetails CaseFields() const;
    // One of the program's own windows besides this one is open (a box, the History dialog,
    // the folder browser): the keep-in-front timer leaves the window where it is.
    bool OwnWindowOpen() const;
    // "page / pages" beside the camera page buttons.
    // Stops the worker: it is told to end, and the window waits for it at most ten polls of
    // 100 ms while still serving what it asks of the window.
    void StopWorker();

    CQuillonApp& m_app;
    IMessageBoxes& m_boxes;
    Companions m_companions;
    std::unique_ptr<Ui::CQuillonDlg> m_ui;
    std::unique_ptr<DialogControls> m_controls;
    QtDialogView* m_view;
    // Raised while a box of the window is up: the keep-in-front timer leaves the window alone.
    std::atomic<BOOL> m_bInMessageBox{0};
    ControlsView m_operatorView;  // the core's events on m_view's controls
    backup::Session m_session;
    std::unique_ptr<BackupWorker> m_worker;
    CBackupPreviewDlg* m_dlgPreview = nullptr;
    std::unique_ptr<platform::NamedLock> m_baseLock;
    std::unique_ptr<IFolderBrowser> m_ownBrowser;
    IFolderBrowser* m_browser;
    std::unique_ptr<platform::BusWindow> m_bus;
    std::atomic<bool> m_bServingBus{false};
    int m_nTimerId = 0;
};
