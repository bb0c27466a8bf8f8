#include "dialog/MessageBoxes.h"

#include <QMessageBox>

#include "dialog/DialogView.h"

int QtMessageBoxes::Show(QWidget* owner, const std::string& text, const std::string& caption,
                         unsigned type) {
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    const unsigned icon = type & 0xF0;
    box.setIcon(icon == MB_ICONWARNING ? QMessageBox::Warning
                : icon == MB_ICONERROR ? QMessageBox::Critical
                : (type & MB_YESNO)    ? QMessageBox::Question
                                       : QMessageBox::Information);
    box.setWindowModality((type & MB_TASKMODAL) ? Qt::ApplicationModal : Qt::WindowModal);
    if (type & MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        questions_.emplace_back(&box);
        const int answer = box.exec();
        questions_.pop_back();
        return answer == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

void QtMessageBoxes::CloseQuestion() {
    if (!questions_.empty() && questions_.back())
        questions_.back()->done(QMessageBox::No);
}

void QtMessageBoxes::Tell(QWidget* owner, const std::string& text, const std::string& caption,
                          std::function<void()> closed) {
    auto* box = new QMessageBox(owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QString::fromStdString(caption));
    box->setText(QString::fromStdString(text));
    box->setIcon(QMessageBox::Information);
    box->setStandardButtons(QMessageBox::Ok);
    if (closed)
        QObject::connect(box, &QDialog::finished, owner ? static_cast<QObject*>(owner) : box,
                         [closed = std::move(closed)] { closed(); });
    box->open();  // modal to its owner, without a loop of its own
}
