#include "dialog/ShareAnswers.h"

#include <QMetaObject>
#include <QObject>

ShareAnswers::ShareAnswers(QObject* context, Handler handler)
    : context_(context), handler_(std::move(handler)) {}

void ShareAnswers::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    context_ = nullptr;
}

void ShareAnswers::PostShareMessage(unsigned message, unsigned long code, const void* record,
                                    unsigned long size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!context_)
        return;
    std::string copy;
    if (record)
        copy.assign(static_cast<const char*>(record), size);
    // Queued on the context: Qt drops the call if the window is destroyed before it runs.
    QMetaObject::invokeMethod(
        context_,
        [handler = handler_, message, code, copy = std::move(copy), had = record != nullptr, size] {
            handler(message, code, copy, had, size);
        },
        Qt::QueuedConnection);
}
