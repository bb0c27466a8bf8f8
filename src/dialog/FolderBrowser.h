#pragma once
// The folder browser of "...": the system's dialog in the program, an answer from a script in
// tests and over the message bus. Thread: the user-interface thread.
#include <string>

class QWidget;

class IFolderBrowser {
  public:
    virtual ~IFolderBrowser() = default;
    // A host folder the operator chose, "" when cancelled. initial is a host folder.
    virtual std::string Browse(QWidget* owner, const std::string& title,
                               const std::string& initial) = 0;
};

class QtFolderBrowser : public IFolderBrowser {
  public:
    std::string Browse(QWidget* owner, const std::string& title,
                       const std::string& initial) override;
};
