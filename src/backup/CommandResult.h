#pragma once
// What a command of the core answers: done, or refused. A refusal carries the language key of
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
    bool done() const { return key_.empty(); }
    bool refused() const { return !key_.empty(); }
    // The refusal's key; "" when done.
    const std::string& key() const { return key_; }
    // Compares the refusal's key ("" for done), as tests and scripts name outcomes.
    friend bool operator==(const CommandResult& r, std::string_view key) { return r.key_ == key; }

  private:
    std::string key_;
};

}  // namespace backup
