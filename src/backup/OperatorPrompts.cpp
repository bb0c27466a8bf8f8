#include "backup/OperatorPrompts.h"

namespace backup {

void OperatorPrompts::SetStatusText(const std::string& text) {
    // Only the text: whether the line shows is the pass's to say (OK shows it, its end hides
    // it). A remote Add's or an erase's words must not bring up a line that is hidden.
    view_.SetStatusText(text);
}

int OperatorPrompts::ShowMessage(const std::string& text, const std::string& caption,
                                 unsigned type) {
    inMessageBox_ = 1;
    const int answer = view_.MessageBox(text, caption, type);
    inMessageBox_ = 0;
    return answer;
}

CommandResult OperatorPrompts::Refuse(const std::string& key, const std::string& text) {
    ShowMessage(text.empty() ? Text("BACKUP", key) : text);
    return CommandResult::Refused(key);
}

}  // namespace backup
