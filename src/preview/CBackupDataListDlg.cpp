#include "preview/CBackupDataListDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "backup/pass/BackupStart.h"
#include "platform/FileSystem.h"

CBackupDataListDlg::CBackupDataListDlg(QWidget* parent) : QDialog(parent) {
    // The texts are the dialog's own, not the language file's.
    setWindowTitle("Dialog");
    auto* layout = new QGridLayout(this);
    auto* listFrame = new QGroupBox("Backup Data List", this);
    auto* listLayout = new QVBoxLayout(listFrame);
    m_list = new QListWidget(listFrame);
    m_list->setObjectName("c1097");
    listLayout->addWidget(m_list);
    layout->addWidget(listFrame, 0, 0, 3, 1);

    auto* cameraFrame = new QGroupBox("Camera", this);
    auto* cameras = new QGridLayout(cameraFrame);
    for (int i = 0; i < 16; ++i) {
        auto* box = new QCheckBox(QString::number(i + 1), cameraFrame);
        box->setObjectName(QString("c%1").arg(ctl::kDataFirstCamera + i));
        cameras->addWidget(box, i / 4, i % 4);
    }
    cameras->addWidget(new QPushButton("<", cameraFrame), 4, 0);
    cameras->addWidget(new QPushButton(">", cameraFrame), 4, 3);
    layout->addWidget(cameraFrame, 0, 1);

    auto* memoFrame = new QGroupBox("Memo", this);
    auto* memoLayout = new QVBoxLayout(memoFrame);
    m_memo = new QPlainTextEdit(memoFrame);
    m_memo->setObjectName("c1098");
    memoLayout->addWidget(m_memo);
    memoLayout->addWidget(new QPushButton("Edit", memoFrame));
    layout->addWidget(memoFrame, 1, 1);

    auto* ok = new QPushButton("OK", this);
    auto* exit = new QPushButton("Exit", this);
    ok->setObjectName("c1");
    exit->setObjectName("c2");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(exit);
    layout->addLayout(buttons, 2, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void CBackupDataListDlg::OnInitDialog() {
    for (auto* box : findChildren<QCheckBox*>())
        box->setEnabled(false);
    m_list->clear();
    m_memo->clear();
    for (const auto& f : platform::FindFiles(m_strFolder + "\\*.*"))
        if (f.isDirectory && f.name != "." && f.name != "..")
            m_list->addItem(QString::fromStdString(BackupDataLabel(f.name, m_nDateType)));
}
