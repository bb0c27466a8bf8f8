#include "backup/OperatorPrompts.h"

namespace backup {

void OperatorPrompts::SetStatusText(const std::string& text) {
    // Only the text: whether the line shows is the pass's to say (OK shows it, its end hides
    // it). A remote Add's or an erase's words must not bring up a line that is hidden.
    view_.StatusChanged(text);
}

void OperatorPrompts::Tell(const Notice& notice) {
    view_.Tell(notice);
}

bool OperatorPrompts::Confirm(const std::string& question, const std::string& caption) {
    return view_.Confirm(question, caption);
}

CommandResult OperatorPrompts::Refuse(const std::string& key, const std::string& text) {
    Tell(text.empty() ? Text("BACKUP", key) : text);
    return CommandResult::Refused(key);
}

}  // namespace backup
