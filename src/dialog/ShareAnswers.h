#pragma once
// The share client's answers, carried from its thread to the window's: the record is copied at
// once (the client may reuse it), and nothing reaches a window that has gone.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ports/CFileShareClient.h"

class QObject;

class ShareAnswers : public IShareClientReceiver {
  public:
    // handler runs on context's thread with the message, the code and the copied record
    // (empty with hadRecord false when the client passed none; a value then comes in size).
    using Handler =
        std::function<void(unsigned message, unsigned long code, const std::string& record,
                           bool hadRecord, unsigned long size)>;
    ShareAnswers(QObject* context, Handler handler);
    // No answer is delivered after this.
    void Close();

    void PostShareMessage(unsigned message, unsigned long code, const void* record,
                          unsigned long size) override;

  private:
    std::mutex mutex_;
    QObject* context_;
    Handler handler_;
};
