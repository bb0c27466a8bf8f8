#pragma once
// What the core says to the operator in words: the language file's texts, the status line, and
// message boxes, bracketed so that what a pass shows meanwhile waits for the box.
#include <atomic>
#include <string>

#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/OperatorView.h"

namespace backup {

class OperatorPrompts {
  public:
    OperatorPrompts(const CQuillonApp& app, IOperatorView& view, std::atomic<BOOL>& inMessageBox)
        : app_(app), view_(view), inMessageBox_(inMessageBox) {}

    std::string Text(const std::string& section, const std::string& key) const {
        return app_.GetLanguageText(section, key);
    }
    // Sets the status line's text; the line stays shown or hidden as it is.
    void SetStatusText(const std::string& text);
    int ShowMessage(const std::string& text, const std::string& caption = "Backup",
                    unsigned type = MB_OK);
    // A command's refusal: a plain box with text (by default the "BACKUP" text of key); answers
    // key, for the command to end with.
    CommandResult Refuse(const std::string& key, const std::string& text = std::string());

  private:
    const CQuillonApp& app_;
    IOperatorView& view_;
    std::atomic<BOOL>& inMessageBox_;
};

}  // namespace backup
