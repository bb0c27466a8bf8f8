#include "TerminalView.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "backup/CameraSelection.h"

TerminalView::TerminalView(bool showProgress)
    : showProgress_(showProgress), terminal_(::isatty(STDERR_FILENO) != 0) {}

void TerminalView::SetItemText(int id, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordingDialogView::SetItemText(id, text);
    if (id == ctl::kStatusLine && text != status_) {
        status_ = text;
        if (terminal_ && showProgress_ && lastPos_ >= 0)
            DrawProgress();
    }
}

std::string TerminalView::GetItemText(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return RecordingDialogView::GetItemText(id);
}

void TerminalView::ShowItem(int id, bool show) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordingDialogView::ShowItem(id, show);
}

void TerminalView::EnableItem(int id, bool enable) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordingDialogView::EnableItem(id, enable);
}

void TerminalView::CheckItem(int id, bool checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordingDialogView::CheckItem(id, checked);
}

bool TerminalView::IsItemChecked(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    return RecordingDialogView::IsItemChecked(id);
}

void TerminalView::SetProgressPos(int pos) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pos > 100)
        pos = 100;  // a bar past its end shows full
    lastPos_ = pos;
    if (!showProgress_)
        return;
    if (terminal_) {
        DrawProgress();
    } else if (pos / 10 != lastPrinted_ / 10 || (pos == 100 && lastPrinted_ != 100)) {
        std::fprintf(stderr, "progress %d%%\n", pos);
        lastPrinted_ = pos;
    }
}

void TerminalView::DrawProgress() {
    const int width = 30, filled = lastPos_ * width / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(static_cast<std::size_t>(width), '.');
    std::string status = status_.size() > 40 ? status_.substr(status_.size() - 40) : status_;
    std::fprintf(stderr, "\r[%s] %3d%% %-40s", bar.c_str(), lastPos_, status.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalView::FinishProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (drawn_)
        std::fputc('\n', stderr);
    drawn_ = false;
}

int TerminalView::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages.push_back({text, caption, type});
    if (type & MB_YESNO)
        return IDYES;
    if (drawn_)
        std::fputc('\n', stderr);
    drawn_ = false;
    std::fprintf(stderr, "%s\n", text.c_str());
    return IDOK;
}

void TerminalView::SendDialogMessage(DWORD message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordingDialogView::SendDialogMessage(message, wParam, lParam);
    if (message == kMsgShareAnswer && wParam == 100) {
        ended_ = true;
        passEnded_.notify_all();
    }
}

bool TerminalView::WaitForPassEnd(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return passEnded_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return ended_; });
}
