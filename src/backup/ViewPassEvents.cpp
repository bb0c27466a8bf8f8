#include "backup/ViewPassEvents.h"

namespace backup {

void ViewPassEvents::Started() {
    view_.SetWaitCursor(true);
    view_.ShowDiscSpace(false);
    view_.ShowProgress(true);
    view_.SetProgressRange(0, 100);
}

void ViewPassEvents::Status(const std::string& text) {
    view_.ShowStatus(true);
    view_.SetStatusText(text);
}

void ViewPassEvents::Progress(int percent) {
    view_.SetProgressPos(percent);
}

void ViewPassEvents::Built(bool whole) {
    if (whole)
        view_.SetProgressPos(100);
    view_.SetWaitCursor(false);
}

void ViewPassEvents::Problem(const std::string& text, const std::string& caption) {
    inMessageBox_ = 1;
    view_.MessageBox(text, caption, MB_ICONERROR);
    inMessageBox_ = 0;
}

}  // namespace backup
