#pragma once
// What a program writes while it runs under the journal, at the level it chooses for what does
// not say its own: an unattended job that logs one line of its own at notice or error keeps
// everything the commands it runs print (their progress, their lines for a person) at debug,
// so that the journal's default view shows the one line.
#include <thread>

namespace platform {

class JournalDefaultLevel {
  public:
    // When standard output is the journal's stream, every line written on it (and on standard
    // error, when that is the journal's too) that does not begin with a "<N>" of its own gets
    // "<level>" in front, until the object goes. Elsewhere it changes nothing.
    explicit JournalDefaultLevel(int level);
    ~JournalDefaultLevel();
    JournalDefaultLevel(const JournalDefaultLevel&) = delete;
    JournalDefaultLevel& operator=(const JournalDefaultLevel&) = delete;

    // True while the output goes to the journal through it: lines that want another level
    // begin with "<N>" (IsJournal no longer says so, the stream being its own).
    bool active() const { return relay_.joinable(); }

  private:
    void Relay(int level);

    int journal_ = -1;  // the journal's stream
    int from_ = -1;     // what the program writes, read by the relay
    int savedError_ = -1;
    std::thread relay_;
};

}  // namespace platform
