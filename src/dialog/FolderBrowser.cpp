#include "dialog/FolderBrowser.h"

#include <QFileDialog>

std::string QtFolderBrowser::Browse(QWidget* owner, const std::string& title,
                                    const std::string& initial) {
    return QFileDialog::getExistingDirectory(owner, QString::fromStdString(title),
                                             QString::fromStdString(initial),
                                             QFileDialog::ShowDirsOnly)
        .toStdString();
}
