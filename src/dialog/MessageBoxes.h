#pragma once
// Every message box of the dialogs goes through one service: real boxes in the program, a
// scripted responder in tests. Thread: the user-interface thread.
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "dialog/MessageBoxTypes.h"

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
    // A plain box that asks nothing and holds nothing up: the caller goes on while it is open
    // (the window's start, which a host must be able to drive meanwhile). closed is called
    // once it is closed, never after owner is gone. By default shown as Show shows it.
    virtual void Tell(QWidget* owner, const std::string& text, const std::string& caption,
                      std::function<void()> closed) {
        Show(owner, text, caption, 0);  // MB_OK
        if (closed)
            closed();
    }
};

class QtMessageBoxes : public IMessageBoxes {
  public:
    int Show(QWidget* owner, const std::string& text, const std::string& caption,
             unsigned type) override;
    void CloseQuestion() override;
    void Tell(QWidget* owner, const std::string& text, const std::string& caption,
              std::function<void()> closed) override;

  private:
    std::vector<QPointer<QMessageBox>> questions_;  // open Yes/No boxes, the last on top
};
