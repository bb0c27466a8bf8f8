#pragma once
// What the core says to the operator in words: the language file's texts, the status line,
// notices and questions.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CQuillonApp.h"
#include "backup/CommandResult.h"
#include "backup/OperatorEvents.h"

namespace backup {

// What a question is about: one about a pass or a disc write is withdrawn when that ends.
enum class QuestionAbout { kNothing, kPass, kDiscWrite };

class OperatorPrompts {
  public:
    OperatorPrompts(const CQuillonApp& app, IOperatorEvents& view) : app_(app), view_(view) {}
    OperatorPrompts(const OperatorPrompts&) = delete;
    OperatorPrompts& operator=(const OperatorPrompts&) = delete;

    std::string Text(const std::string& section, const std::string& key) const {
        return app_.GetLanguageText(section, key);
    }
    // Sets the status line's text; the line stays shown or hidden as it is.
    void SetStatusText(const std::string& text);
    void Tell(const Notice& notice);
    void Tell(const std::string& text, Severity severity = Severity::kInfo) {
        Tell(Notice{text, "Backup", severity, false});
    }
    // Asks the operator; then runs with the answer when it comes, unless the question was
    // withdrawn first. Answers then's result when the front end answered at once, else Asked().
    using Then = std::function<CommandResult(bool yes)>;
    CommandResult Ask(const std::string& question, QuestionAbout about, Then then);
    // The subject went away: its open questions are withdrawn, unanswered.
    void Withdraw(QuestionAbout about);
    // A command's refusal: a plain notice of text (by default the "BACKUP" text of key);
    // answers key, for the command to end with.
    CommandResult Refuse(const std::string& key, const std::string& text = std::string());

  private:
    struct Open {
        int id;
        QuestionAbout about;
        Then then;
    };
    void Answer(int id, bool yes);

    const CQuillonApp& app_;
    IOperatorEvents& view_;
    std::vector<Open> open_;
    int lastId_ = 0;
    int asking_ = 0;  // the question whose Ask is under way
    std::optional<CommandResult> answeredAtOnce_;
    // Replies held by a front end past the session's end do nothing.
    std::shared_ptr<OperatorPrompts*> alive_ = std::make_shared<OperatorPrompts*>(this);
};

}  // namespace backup
