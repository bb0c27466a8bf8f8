#pragma once
// Every message box of the dialogs goes through one service: real boxes in the program, a
// scripted responder in tests. Thread: the user-interface thread.
#include <QPointer>
#include <string>
#include <vector>

class QWidget;
class QMessageBox;

class IMessageBoxes {
  public:
    virtual ~IMessageBoxes() = default;
    // type: MB_OK or MB_YESNO, with MB_ICONERROR and MB_TASKMODAL as flags. Answers IDOK, IDYES
    // or IDNO.
    virtual int Show(QWidget* owner, const std::string& text, const std::string& caption,
                     unsigned type) = 0;
    // Closes the Yes/No box open last, as answered No; nothing when none is open. A box that
    // answers at once has nothing to close.
    virtual void CloseQuestion() {}
};

class QtMessageBoxes : public IMessageBoxes {
  public:
    int Show(QWidget* owner, const std::string& text, const std::string& caption,
             unsigned type) override;
    void CloseQuestion() override;

  private:
    std::vector<QPointer<QMessageBox>> questions_;  // open Yes/No boxes, the last on top
};
