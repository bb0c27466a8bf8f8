#pragma once
// quillon-cli's disc writer: the same writer as the window's, its events served on the main
// thread between waits, as the window's event loop serves them.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "CliSession.h"
#include "ports/CDVDWriterPro2.h"

class DiscSession : public IDiscWriterEvents {
  public:
    // Gives session a writer, or none when this build cannot write discs.
    explicit DiscSession(backup::Session& session);
    ~DiscSession() override;

    // The writer's start and the drive as the storage target ("D:" or "D"); false, with the
    // reason on stderr, when it cannot be used.
    bool Open(const std::string& drive);
    // Runs the writer's events that came, waiting up to milliseconds for the first.
    void Serve(int milliseconds);
    // Runs call on the caller's thread while no event is being run: how the worker tells the end
    // of a pass (which hands its image to the writer) without meeting the writer's events.
    void RunBetweenEvents(const std::function<void()>& call);
    void OnWriterEvent(const WriterEvent& event) override;
    CDVDWriterPro2* writer() { return writer_.get(); }
    // True while the writer writes or erases.
    bool Busy() const;
    // True from the start of an image's write until the writer's end of it was served.
    bool Writing() const { return session_.DiscWriting(); }

    int lastEnd = 0;     // 11, 12, 13 or 21 once the writer reported an end
    long errorCode = 0;  // of event 21
    std::string errorDetail;

  private:
    backup::Session& session_;
    std::mutex mutex_;
    std::recursive_mutex running_;  // held while events run
    std::condition_variable arrived_;
    std::deque<std::function<void()>> events_;
    std::unique_ptr<CDVDWriterPro2> writer_;
};
