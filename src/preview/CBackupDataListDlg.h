#pragma once
// The backups found at the root of the storage target: every folder there as one line, its name
// turned into a readable label of the date type. The History command opens it.
#include <QDialog>
#include <string>

class QListWidget;
class QPlainTextEdit;

namespace ctl {
constexpr int kDataList = 1097;
constexpr int kDataMemo = 1098;
constexpr int kDataFirstCamera = 1077;  // 1077..1092
}  // namespace ctl

class CBackupDataListDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CBackupDataListDlg(QWidget* parent = nullptr);

    // The start: the camera boxes disabled, the list filled from m_strFolder.
    void OnInitDialog();

    void* m_pMainDlg = nullptr;  // set by the caller, not read here
    std::string m_strFolder;     // the drive whose root is listed, such as "E:"
    int m_nCamCount = 0;         // set by the caller, not read here
    int m_nDateType = 0;

    QListWidget* List() const { return m_list; }

  private:
    QListWidget* m_list;
    QPlainTextEdit* m_memo;
};
