#pragma once
// The folder browser of "...": the drives of the drive table, as the original's shell browser
// shows the computer's drives, each with its folders below it; a disc writer (Type=cdrom with
// Device=, no Path=) is a drive with no folders, chosen as its drive. An answer from a script
// in tests and over the message bus. Thread: the user-interface thread.
#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class IFolderBrowser {
  public:
    virtual ~IFolderBrowser() = default;
    // The target the operator chose, "" when cancelled: a drive path ("E:\Backup", a writer's
    // "D:\"), or a host folder, which the window turns into the drive path of the drive that
    // holds it. initial is a drive path, selected when the browser opens.
    virtual std::string Browse(QWidget* owner, const std::string& title,
                               const std::string& initial) = 0;
};

// The program's own browser: a DriveFolderDialog, modal over owner.
class QtFolderBrowser : public IFolderBrowser {
  public:
    std::string Browse(QWidget* owner, const std::string& title,
                       const std::string& initial) override;
};

// One row of the browser's top level: a drive of the table, how the row reads, and the host
// folder below which its folders are listed ("" for a drive without folders: a disc writer).
struct BrowsedDrive {
    char letter = 0;
    std::string text;  // "E:\  removable disk  /media/usb-stick"
    std::string hostRoot;
};
// The drives of the current drive table in letter order.
std::vector<BrowsedDrive> BrowsableDrives();

// The browser's window: the drives and their folders (read when a drive or folder is opened),
// the drive path of the row chosen in an edit box the operator may also type into, the host
// folder behind it as the status line, a new folder below the chosen one, OK and Cancel.
class DriveFolderDialog : public QDialog {
    Q_OBJECT
  public:
    DriveFolderDialog(QWidget* owner, const QString& title, const std::string& initial);
    // The drive path in the edit box ("" when it is empty).
    std::string Chosen() const;
    QTreeWidget* tree() const { return m_tree; }

  private:
    void Fill();
    void ListFolders(QTreeWidgetItem* item);
    void Select(const std::string& drivePath);
    void OnCurrentChanged(QTreeWidgetItem* item);
    void OnNewFolder();

    QTreeWidget* m_tree;
    QLineEdit* m_edit;
    QLabel* m_status;
    QPushButton* m_newFolder;
};
