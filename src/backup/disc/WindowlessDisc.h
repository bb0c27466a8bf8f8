#pragma once
// The disc writer for a front end without a window: the drive a command names, checked against
// the drive table, as the target, and the writer's events, which it posts from its own thread,
// kept until the front end serves them on its thread between waits, as a window's event loop
// would run them.
//
// Threads: the poster is called from the writer's thread; everything else from the front end's.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "backup/CommandResult.h"
#include "backup/Session.h"
#include "backup/disc/DiscDrive.h"
#include "platform/Error.h"
#include "ports/CDVDWriterPro2.h"

namespace backup {

// The letter of the disc drive a command names ("D", "D:" or "D:\\"), or why the drive table
// has no such disc drive.
platform::Expected<char> NamedDiscDrive(const std::string& drive);

class WindowlessDisc : public IDiscWriterEvents {
  public:
    // Runs a callable on the front end's thread, the next time it serves the writer's events.
    using Poster = std::function<void(std::function<void()>)>;
    struct Writer {
        std::unique_ptr<CDVDWriterPro2> device;
        std::function<bool()> busy;  // true while it writes or erases
    };
    // Gives session the writer that make builds around the poster (one without a device when
    // this build cannot write discs).
    WindowlessDisc(Session& session, const std::function<Writer(Poster)>& make);
    ~WindowlessDisc() override;
    // The writer's start and the drive ("D", "D:" or "D:\") as the storage target, as the session
    // answers them (A010001 when the writer does not start); an error when this build has no
    // writer or the drive table has no such disc drive.
    platform::Expected<CommandResult> Open(const std::string& drive);
    // Runs the writer's events that came, waiting up to milliseconds for the first.
    void Serve(int milliseconds);
    // Runs call while no event is being run: how the worker tells the end of a pass (which hands
    // its image to the writer) without meeting the writer's events.
    void RunBetweenEvents(const std::function<void()>& call);
    void OnWriterEvent(const WriterEvent& event) override;
    // True while the writer writes or erases.
    bool Busy() const { return writer_.busy && writer_.busy(); }
    // True from the start of an image's write until the writer's end of it was served.
    bool Writing() const { return session_.DiscWriting(); }
    // The writer's last end of a write or an erase (kOther before any).
    const DiscEvent& End() const { return end_; }

  private:
    Session& session_;
    DiscEvent end_;
    std::mutex mutex_;
    std::recursive_mutex running_;  // held while events run
    std::condition_variable arrived_;
    std::deque<std::function<void()>> events_;
    Writer writer_;  // last: it is gone, with its thread, before what its events reach
};

}  // namespace backup
