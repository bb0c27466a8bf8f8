#include "backup/OperatorPrompts.h"

#include <algorithm>

namespace backup {

void OperatorPrompts::SetStatusText(const std::string& text) {
    // Only the text: whether the line shows is the pass's to say (OK shows it, its end hides
    // it). A remote Add's or an erase's words must not bring up a line that is hidden.
    view_.StatusChanged(text);
}

void OperatorPrompts::Tell(const Notice& notice) {
    view_.Tell(notice);
}

CommandResult OperatorPrompts::Ask(const std::string& question, QuestionAbout about, Then then) {
    const int id = ++lastId_;
    open_.push_back({id, about, std::move(then)});
    // A question asked while another's Ask is under way (a host's command meanwhile) keeps
    // the outer one's answer apart.
    const int outer = asking_;
    std::optional<CommandResult> outerAnswer = std::move(answeredAtOnce_);
    asking_ = id;
    answeredAtOnce_.reset();
    std::weak_ptr<OperatorPrompts*> alive = alive_;
    view_.Ask(Question{id, question, "Backup"}, [alive, id](bool yes) {
        if (const auto self = alive.lock())
            (*self)->Answer(id, yes);
    });
    std::optional<CommandResult> answer = std::move(answeredAtOnce_);
    asking_ = outer;
    answeredAtOnce_ = std::move(outerAnswer);
    return answer ? *answer : CommandResult::Asked();
}

void OperatorPrompts::Answer(int id, bool yes) {
    const auto it =
        std::find_if(open_.begin(), open_.end(), [id](const Open& q) { return q.id == id; });
    if (it == open_.end())
        return;  // withdrawn, or answered before
    const Then then = std::move(it->then);
    open_.erase(it);
    CommandResult result = then(yes);
    if (id == asking_)
        answeredAtOnce_ = std::move(result);
}

void OperatorPrompts::Withdraw(QuestionAbout about) {
    std::vector<int> gone;
    for (auto it = open_.begin(); it != open_.end();)
        if (it->about == about) {
            gone.push_back(it->id);
            it = open_.erase(it);
        } else {
            ++it;
        }
    for (int id : gone)
        view_.QuestionWithdrawn(id);
}

CommandResult OperatorPrompts::Refuse(const std::string& key, const std::string& text) {
    Tell(text.empty() ? Text("BACKUP", key) : text);
    return CommandResult::Refused(key);
}

}  // namespace backup
