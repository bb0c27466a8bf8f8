#pragma once
// Every message box of the dialogs goes through one service: real boxes in the program, a
// scripted responder in tests. Thread: the user-interface thread.
#include <string>

class QWidget;

class IMessageBoxes {
  public:
    virtual ~IMessageBoxes() = default;
    // type: MB_OK or MB_YESNO, with MB_ICONERROR and MB_TASKMODAL as flags. Answers IDOK, IDYES
    // or IDNO.
    virtual int Show(QWidget* owner, const std::string& text, const std::string& caption,
                     unsigned type) = 0;
};

class QtMessageBoxes : public IMessageBoxes {
  public:
    int Show(QWidget* owner, const std::string& text, const std::string& caption,
             unsigned type) override;
};
