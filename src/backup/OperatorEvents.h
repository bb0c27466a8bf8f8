#pragma once
// What the core tells the operator's front end, as events that say what happened: the words
// and the progress of work under way, the disc's space, the day's times and cameras, the
// schedule, what the operator is doing (a pass, a disc busy, nothing), notices and questions.
// A front end draws them as it likes: the window maps them onto its controls, a terminal
// prints some, a program without a person answers questions by its policy.
//
// Threads: every call may come from the front end's thread or from the backup worker. A front
// end with a UI thread runs each call there and returns only when it is done (a blocking call).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace backup {

// The four parts of a time range as the operator chooses them: two-digit texts, "" for none.
struct TimeFields {
    std::string startHour, startMinute, endHour, endMinute;
};
enum class TimeField { kStartHour, kStartMinute, kEndHour, kEndMinute };

// The sixteen cameras of the page shown, and the page's number ("2/4").
struct PageCamera {
    std::string name;
    bool present = true;     // the recorder has this camera
    bool selectable = true;  // it recorded in the range, and nothing is under way
    bool selected = false;
};
constexpr int kCamerasPerPage = 16;
struct CameraPage {
    std::string number;
    std::array<PageCamera, kCamerasPerPage> cameras;
};

// What the operator is doing, which decides the commands that can be used: a backup being
// made, nothing, or the disc being busy (erased, written).
enum class Activity : int { kPass = 0, kIdle = 1, kDiscBusy = 2 };

// What besides the activity decides which commands can be used.
struct ActivityFacts {
    bool entryPicked = false;  // a schedule entry is picked: its memo can be updated
    bool discTarget = false;   // the target is a disc: its write speed can be chosen
    bool pages = false;        // more than one camera page
};

// What the place below the schedule is showing: the progress of work, or the disc's space;
// kNone ends the progress and leaves the disc's space as DiscKnown last said.
enum class Meter { kNone, kProgress, kDiscSpace };

// The disc in the writer: how full it is now and would be after the backup, in percent of its
// capacity, and its free space in words.
struct DiscSpace {
    int usedPercent = 0;
    int afterBackupPercent = 0;
    std::string text;
};

// Something the operator is told and acknowledges.
enum class Severity { kInfo, kWarning, kError };
struct Notice {
    std::string text;
    std::string caption = "Backup";
    Severity severity = Severity::kInfo;
    bool aboveAll = false;  // holds every window of the program until acknowledged
};

// A yes-or-no question. The front end answers it once through its Reply, at once or later, on
// the thread the session's commands run on; a front end without a person answers by its policy.
// A question whose subject went away first (the pass it would stop has ended) is withdrawn: its
// Reply then does nothing.
struct Question {
    int id = 0;
    std::string text;
    std::string caption = "Backup";
};
using Reply = std::function<void(bool yes)>;

class IOperatorEvents {
  public:
    virtual ~IOperatorEvents() = default;

    // The words that say what is being done ("" for nothing).
    virtual void StatusChanged(const std::string& text) = 0;
    // A pass says what it does; its words are over (its outcome follows).
    virtual void PassStatus(const std::string& text) = 0;
    virtual void PassStatusEnded() = 0;
    // A pass is about to start: its words will show, the viewer can no longer be chosen.
    virtual void PassStarting() = 0;
    virtual void MeterChanged(Meter meter) = 0;
    // How far the work under way is, in percent.
    virtual void ProgressMoved(int percent) = 0;
    // Work the operator waits for has begun or ended.
    virtual void Busy(bool busy) = 0;

    // Whether the target's disc and its space are known (it is shown then, whatever else the
    // place below the schedule shows); the disc's space as it now is; whether the disc in the
    // writer can be erased; the write
    // speeds it offers (the fastest first and chosen; none: the target is no disc).
    virtual void DiscKnown(bool known) = 0;
    virtual void DiscSpaceChanged(const DiscSpace& space) = 0;
    virtual void EraseOffered(bool offered) = 0;
    virtual void WriteSpeedsChanged(const std::vector<std::string>& rows) = 0;
    // The target as the operator reads it ("" for none) and the drives the host offers.
    virtual void TargetChanged(const std::string& text) = 0;
    virtual void DrivesChanged(const std::vector<std::string>& roots) = 0;
    // Whether the backup viewer can be included; the choice made is undone after a pass.
    virtual void ViewerOffered(bool offered) = 0;
    virtual void ViewerChoiceCleared() = 0;
    // The schedule's total as its text ("" after a pass).
    virtual void TotalSizeChanged(const std::string& text) = 0;

    // The day's times: the rows a field offers (none chosen afterwards), and a range chosen
    // by a command rather than by the operator.
    virtual void TimeRowsChanged(TimeField field, const std::vector<std::string>& rows) = 0;
    virtual void TimeChosen(const TimeFields& range) = 0;
    virtual void CameraPageChanged(const CameraPage& page) = 0;
    // Whether a camera of the first page recorded, so that all can be selected at once; whether
    // the recorder has more cameras than a page.
    virtual void SelectAllPossible(bool possible) = 0;
    virtual void PagesPossible(bool possible) = 0;

    // The schedule list's rows, in list order, after every change; the picked row (-1: none).
    virtual void ScheduleListChanged(const std::vector<std::string>& rows) = 0;
    virtual void ScheduleRowPicked(int row) = 0;
    // An entry is picked (it can be deleted and its memo updated) or none is; the picked
    // entry's memo can be updated or not.
    virtual void EntryPicked(bool picked) = 0;
    virtual void MemoEditable(bool editable) = 0;
    virtual void MemoChanged(const std::string& text) = 0;

    virtual void ActivityChanged(Activity activity, const ActivityFacts& facts) = 0;
    // A local or remote pass has ended and its schedule is settled.
    virtual void PassEnded() = 0;

    // The operator is told something, and acknowledges it before the caller goes on.
    virtual void Tell(const Notice& notice) = 0;
    // The operator is asked a question, and the front end replies when the operator answers;
    // the question is withdrawn, and whatever shows it can go.
    virtual void Ask(const Question& question, Reply reply) = 0;
    virtual void QuestionWithdrawn(int id) = 0;
};

// For a front end without a window: what only a window shows (its controls, the list, the
// camera page, the disc's space) is ignored; the words, the progress, notices, questions and the
// end of a pass are its own to say.
class WindowlessEvents : public IOperatorEvents {
  public:
    void PassStatusEnded() override {}
    void PassStarting() override {}
    void MeterChanged(Meter) override {}
    void Busy(bool) override {}
    void DiscKnown(bool) override {}
    void DiscSpaceChanged(const DiscSpace&) override {}
    void EraseOffered(bool) override {}
    void WriteSpeedsChanged(const std::vector<std::string>&) override {}
    void TargetChanged(const std::string&) override {}
    void DrivesChanged(const std::vector<std::string>&) override {}
    void ViewerOffered(bool) override {}
    void ViewerChoiceCleared() override {}
    void TotalSizeChanged(const std::string&) override {}
    void TimeRowsChanged(TimeField, const std::vector<std::string>&) override {}
    void TimeChosen(const TimeFields&) override {}
    void CameraPageChanged(const CameraPage&) override {}
    void SelectAllPossible(bool) override {}
    void PagesPossible(bool) override {}
    void ScheduleListChanged(const std::vector<std::string>&) override {}
    void ScheduleRowPicked(int) override {}
    void EntryPicked(bool) override {}
    void MemoEditable(bool) override {}
    void MemoChanged(const std::string&) override {}
    void ActivityChanged(Activity, const ActivityFacts&) override {}
    void QuestionWithdrawn(int) override {}
};

}  // namespace backup
