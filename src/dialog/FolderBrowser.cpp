#include "dialog/FolderBrowser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "platform/DrivePaths.h"
#include "platform/DriveTable.h"

namespace {

// The item's drive path ("E:\Backup") and host folder ("" for a writer).
constexpr int kDrivePathRole = Qt::UserRole;
constexpr int kHostFolderRole = Qt::UserRole + 1;
// Set once the item's folders have been read.
constexpr int kListedRole = Qt::UserRole + 2;

std::string KindOf(const platform::DriveInfo& d) {
    switch (d.type) {
        case platform::DRIVE_REMOVABLE:
            return "removable disk";
        case platform::DRIVE_REMOTE:
            return "network drive";
        case platform::DRIVE_CDROM:
            return d.device.empty() ? "CD/DVD drive" : "disc writer";
        default:
            return "local disk";
    }
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The drive path of name below the item's (a drive's root ends in "\" already).
std::string Below(const std::string& drivePath, const std::string& name) {
    return drivePath + (drivePath.empty() || drivePath.back() == '\\' ? "" : "\\") + name;
}

QTreeWidgetItem* Row(const std::string& text, const std::string& drivePath,
                     const std::string& hostFolder) {
    auto* item = new QTreeWidgetItem({QString::fromStdString(text)});
    item->setData(0, kDrivePathRole, QString::fromStdString(drivePath));
    item->setData(0, kHostFolderRole, QString::fromStdString(hostFolder));
    // A folder may hold folders: it says so once it is opened.
    item->setChildIndicatorPolicy(hostFolder.empty() ? QTreeWidgetItem::DontShowIndicator
                                                     : QTreeWidgetItem::ShowIndicator);
    return item;
}

}  // namespace

std::vector<BrowsedDrive> BrowsableDrives() {
    std::vector<BrowsedDrive> out;
    const auto table = platform::CurrentDrives();
    for (const platform::DriveInfo& d : table->drives()) {
        BrowsedDrive b;
        b.letter = d.letter;
        // A disc drive is chosen as its drive: the image goes onto the disc, not into a folder.
        if (d.type != platform::DRIVE_CDROM)
            b.hostRoot = d.hostRoot;
        const std::string where =
            d.type == platform::DRIVE_CDROM && !d.device.empty() ? d.device : d.hostRoot;
        b.text =
            std::string(1, d.letter) + ":\\  " + KindOf(d) + (where.empty() ? "" : "  " + where);
        out.push_back(std::move(b));
    }
    std::sort(out.begin(), out.end(),
              [](const BrowsedDrive& a, const BrowsedDrive& b) { return a.letter < b.letter; });
    return out;
}

std::string QtFolderBrowser::Browse(QWidget* owner, const std::string& title,
                                    const std::string& initial) {
    DriveFolderDialog dialog(owner, QString::fromStdString(title), initial);
    if (dialog.exec() != QDialog::Accepted)
        return std::string();
    return dialog.Chosen();
}

DriveFolderDialog::DriveFolderDialog(QWidget* owner, const QString& title,
                                     const std::string& initial)
    : QDialog(owner) {
    setWindowTitle(title);
    setObjectName("folderBrowser");
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(title, this);
    layout->addWidget(caption);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName("drives");
    m_tree->setColumnCount(1);
    m_tree->header()->hide();
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_tree, 1);
    m_status = new QLabel(this);
    m_status->setObjectName("where");
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    auto* folderLabel = new QLabel("&Folder:", this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("folder");
    folderLabel->setBuddy(m_edit);
    layout->addWidget(folderLabel);
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_newFolder = buttons->addButton("&Make New Folder", QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_newFolder, &QPushButton::clicked, this, [this] { OnNewFolder(); });
    connect(m_tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { ListFolders(item); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OnCurrentChanged(item); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        // A writer has nothing to open: a double click chooses it.
        if (item && item->data(0, kHostFolderRole).toString().isEmpty())
            accept();
    });
    resize(460, 420);
    Fill();
    Select(initial);
}

std::string DriveFolderDialog::Chosen() const {
    std::string chosen = m_edit->text().trimmed().toStdString();
    // A drive typed in lower case is the same drive.
    if (chosen.size() >= 2 && chosen[1] == ':')
        chosen[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(chosen[0])));
    return chosen;
}

void DriveFolderDialog::Fill() {
    for (const BrowsedDrive& d : BrowsableDrives())
        m_tree->addTopLevelItem(Row(d.text, std::string(1, d.letter) + ":\\", d.hostRoot));
}

void DriveFolderDialog::ListFolders(QTreeWidgetItem* item) {
    if (!item || item->data(0, kListedRole).toBool())
        return;
    item->setData(0, kListedRole, true);
    const QString host = item->data(0, kHostFolderRole).toString();
    const std::string drivePath = item->data(0, kDrivePathRole).toString().toStdString();
    const QStringList names =
        QDir(host).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        item->addChild(Row(name.toStdString(), Below(drivePath, name.toStdString()),
                           QDir(host).filePath(name).toStdString()));
    if (names.isEmpty())
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void DriveFolderDialog::Select(const std::string& drivePath) {
    if (drivePath.size() < 2 || drivePath[1] != ':')
        return;
    const std::string wanted = Upper(drivePath);
    // Down from the drive, a folder at a time, opening each on the way.
    QTreeWidgetItem* at = nullptr;
    for (int i = 0; i < m_tree->topLevelItemCount() && !at; ++i)
        if (Upper(m_tree->topLevelItem(i)->data(0, kDrivePathRole).toString().toStdString())
                .compare(0, 2, wanted, 0, 2) == 0)
            at = m_tree->topLevelItem(i);
    for (bool deeper = at != nullptr; deeper;) {
        deeper = false;
        ListFolders(at);
        for (int i = 0; i < at->childCount(); ++i) {
            QTreeWidgetItem* child = at->child(i);
            const std::string path = Upper(child->data(0, kDrivePathRole).toString().toStdString());
            if (wanted == path || wanted.rfind(path + "\\", 0) == 0) {
                at->setExpanded(true);
                at = child;
                deeper = true;
                break;
            }
        }
    }
    if (at)
        m_tree->setCurrentItem(at);
}

void DriveFolderDialog::OnCurrentChanged(QTreeWidgetItem* item) {
    if (!item) {
        m_status->clear();
        m_newFolder->setEnabled(false);
        return;
    }
    const QString host = item->data(0, kHostFolderRole).toString();
    m_edit->setText(item->data(0, kDrivePathRole).toString());
    // The folder as this system names it; a writer by its row, which names its device.
    m_status->setText(host.isEmpty() ? item->text(0) : host);
    m_newFolder->setEnabled(!host.isEmpty());
}

void DriveFolderDialog::OnNewFolder() {
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || item->data(0, kHostFolderRole).toString().isEmpty())
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, "Make New Folder", "Name:", QLineEdit::Normal,
                                               "New Folder", &ok)
                             .trimmed();
    if (!ok || name.isEmpty())
        return;
    const QString host = item->data(0, kHostFolderRole).toString();
    ListFolders(item);  // what is there already, before the new one joins it
    if (name.contains('/') || name.contains('\\') || name == "." || name == ".." ||
        !QDir(host).mkdir(name)) {
        QMessageBox::warning(this, windowTitle(),
                             QString("The folder \"%1\" could not be made in %2.").arg(name, host));
        return;
    }
    const std::string drivePath =
        Below(item->data(0, kDrivePathRole).toString().toStdString(), name.toStdString());
    auto* child = Row(name.toStdString(), drivePath, QDir(host).filePath(name).toStdString());
    item->addChild(child);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    item->setExpanded(true);
    m_tree->setCurrentItem(child);
}
