#include "TerminalView.h"

#include <cstdio>

#include "platform/Terminal.h"

TerminalView::TerminalView(bool showProgress)
    : showProgress_(showProgress),
      terminal_(platform::IsTerminal(platform::StandardStream::kError)) {}

void TerminalView::StatusChanged(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (text != status_) {
        status_ = text;
        if (terminal_ && showProgress_ && lastPos_ >= 0)
            DrawProgress();
    }
}

void TerminalView::ProgressMoved(int pos) {
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

void TerminalView::Tell(const backup::Notice& notice) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({notice.text, notice.caption, notice.severity, false});
    if (drawn_)
        std::fputc('\n', stderr);
    drawn_ = false;
    std::fprintf(stderr, "%s\n", notice.text.c_str());
}

void TerminalView::Ask(const backup::Question& question, backup::Reply reply) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({question.text, question.caption, backup::Severity::kInfo, true});
    }
    reply(true);
}

std::vector<TerminalView::Message> TerminalView::Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}
