#pragma once
// What a command of the core answers: done, refused, or waiting for the operator's answer to
// its question (it goes on when the answer comes). A refusal carries the language key of
// the text the operator was shown (the key names the reason; the text may say more), so that a
// front end without boxes can tell what happened. Every command of the schedule, the target and
// the start answers with one; nothing is left in a last-error slot.
#include <string>
#include <string_view>

namespace backup {

class CommandResult {
  public:
    CommandResult() = default;  // done
    static CommandResult Refused(std::string key) {
        CommandResult r;
        r.key_ = std::move(key);
        return r;
    }
    static CommandResult Asked() {
        CommandResult r;
        r.asked_ = true;
        return r;
    }
    bool done() const { return key_.empty() && !asked_; }
    bool refused() const { return !key_.empty(); }
    bool asked() const { return asked_; }
    // The refusal's key; "" when done.
    const std::string& key() const { return key_; }
    // Compares the refusal's key ("" for done), as tests and scripts name outcomes; one that
    // waits for an answer is neither.
    friend bool operator==(const CommandResult& r, std::string_view key) {
        return !r.asked_ && r.key_ == key;
    }

  private:
    std::string key_;
    bool asked_ = false;
};

}  // namespace backup
