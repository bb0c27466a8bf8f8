#pragma once
// What the core says to the operator in words: the language file's texts, the status line,
// notices and questions.
#include <string>

#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/OperatorEvents.h"

namespace backup {

class OperatorPrompts {
  public:
    OperatorPrompts(const CQuillonApp& app, IOperatorEvents& view) : app_(app), view_(view) {}

    std::string Text(const std::string& section, const std::string& key) const {
        return app_.GetLanguageText(section, key);
    }
    // Sets the status line's text; the line stays shown or hidden as it is.
    void SetStatusText(const std::string& text);
    void Tell(const Notice& notice);
    void Tell(const std::string& text, Severity severity = Severity::kInfo) {
        Tell(Notice{text, "Backup", severity, false});
    }
    // True when the operator answers yes.
    bool Confirm(const std::string& question, const std::string& caption = "Backup");
    // A command's refusal: a plain notice of text (by default the "BACKUP" text of key);
    // answers key, for the command to end with.
    CommandResult Refuse(const std::string& key, const std::string& text = std::string());

  private:
    const CQuillonApp& app_;
    IOperatorEvents& view_;
};

}  // namespace backup
