#include "backup/pass/ViewPassEvents.h"

namespace backup {

void ViewPassEvents::Started() {
    view_.Busy(true);
    view_.MeterChanged(Meter::kProgress);
}

void ViewPassEvents::Status(const std::string& text) {
    view_.PassStatus(text);
}

void ViewPassEvents::Progress(int percent) {
    view_.ProgressMoved(percent);
}

void ViewPassEvents::Built(bool whole) {
    if (whole)
        view_.ProgressMoved(100);
    view_.Busy(false);
}

void ViewPassEvents::Problem(const std::string& text, const std::string& caption) {
    view_.Tell(Notice{text, caption, Severity::kError, false});
}

}  // namespace backup
