#pragma once
// quillon-share's log: one line per event on the standard error. When that stream is the
// journal's, each line begins with the level the journal reads from it ("<4>" a warning), so
// that `journalctl -p warning` and the unit's LogLevelMax= can sort them; on a terminal or in a
// file a line is plain. Lines less important than the level chosen are dropped. Any thread may
// write: a line goes out whole, never mixed with another.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "share/HttpExchange.h"

namespace share {

// The levels of the system's log, by their numbers there.
enum class LogLevel { kError = 3, kWarning = 4, kNotice = 5, kInfo = 6, kDebug = 7 };

class Log {
  public:
    // Receives each whole line, "\n" included.
    using Sink = std::function<void(std::string_view line)>;
    // To the standard error, with the journal's prefixes when it is the journal's stream.
    explicit Log(std::string program);
    Log(std::string program, bool journal, Sink sink);
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // The least important level written (kInfo unless set).
    void SetMost(LogLevel most) { most_ = most; }
    bool Shows(LogLevel level) const { return level <= most_.load(); }
    void Write(LogLevel level, std::string_view text) const;
    // The line Write gives text: "<4>text\n" for the journal, "program: warning: text\n" plain.
    // A control character in text (a line break among them) is shown as '?', so that what a
    // client sent can never make a line of its own.
    std::string Line(LogLevel level, std::string_view text) const;
    bool journal() const { return journal_; }

  private:
    std::string program_;
    bool journal_ = false;
    std::atomic<LogLevel> most_{LogLevel::kInfo};
    Sink sink_;
    mutable std::mutex mutex_;
};

// The line of a request's outcome: "10.0.0.7 GET /v1/file?entry=... -> 200, 5120 bytes",
// with the refusal's reason, a reply cut short, a request dropped or a connection turned away.
// The value of any query parameter named like a token is left out.
std::string OutcomeText(const HttpOutcome& outcome);
// Its level: a server error (5xx) is an error; a refusal (4xx), a drop, a reply cut short or a
// connection turned away a warning; an answered request info, or debug when `routine` (one a
// client repeats many times a second, such as a status poll or a picture of the preview).
LogLevel OutcomeLevel(const HttpOutcome& outcome, bool routine);

}  // namespace share
