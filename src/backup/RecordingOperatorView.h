#pragma once
// An operator view that keeps what it is told: the last state of every part, the notices and
// questions, and the progress positions. Front ends without a screen build on it; tests read
// it back. Not locked: a front end whose worker calls it while its own thread reads must
// serialise.
#include <map>

#include "backup/OperatorEvents.h"

namespace backup {

class RecordingOperatorView : public IOperatorEvents {
  public:
    struct Message {
        std::string text, caption;
        Severity severity = Severity::kInfo;
        bool question = false;
    };

    void StatusChanged(const std::string& text) override { statusText = text; }
    // Through StatusChanged, so that a view that watches the words sees a pass's too.
    void PassStatus(const std::string& text) override {
        statusShown = true;
        StatusChanged(text);
    }
    void PassStatusEnded() override { statusShown = false; }
    void PassStarting() override {
        viewerOffered = false;
        statusShown = true;
    }
    void MeterChanged(Meter m) override {
        if (m != Meter::kNone || meter == Meter::kProgress)
            meter = m;  // the end of the progress leaves the disc's space as it is
    }
    void ProgressMoved(int percent) override { progress.push_back(percent); }
    void Busy(bool on) override { busy = on; }
    // The place below the schedule shows the disc's space once it is known.
    void DiscKnown(bool known) override {
        if (known)
            meter = Meter::kDiscSpace;
        else if (meter == Meter::kDiscSpace)
            meter = Meter::kNone;
    }
    void DiscSpaceChanged(const DiscSpace& space) override { discSpace = space; }
    void EraseOffered(bool offered) override { eraseOffered = offered; }
    void WriteSpeedsChanged(const std::vector<std::string>& rows) override { writeSpeeds = rows; }
    void TargetChanged(const std::string& text) override { target = text; }
    void DrivesChanged(const std::vector<std::string>& roots) override { drives = roots; }
    void ViewerOffered(bool offered) override { viewerOffered = offered; }
    void ViewerChoiceCleared() override { viewerChosen = false; }
    void TotalSizeChanged(const std::string& text) override { totalSize = text; }
    void TimeRowsChanged(TimeField field, const std::vector<std::string>& rows) override {
        timeRows[field] = rows;
        Field(field).clear();
    }
    void TimeChosen(const TimeFields& r) override { range = r; }
    void CameraPageChanged(const CameraPage& p) override { page = p; }
    void SelectAllPossible(bool possible) override { selectAllPossible = possible; }
    void PagesPossible(bool possible) override { pagesPossible = possible; }
    void ScheduleListChanged(const std::vector<std::string>& r) override {
        listRows = r;
        listRow = -1;
    }
    void ScheduleRowPicked(int row) override { listRow = row; }
    void EntryPicked(bool picked) override { entryPicked = memoEditable = picked; }
    void MemoEditable(bool editable) override { memoEditable = editable; }
    void MemoChanged(const std::string& text) override { memo = text; }
    void ActivityChanged(Activity a, const ActivityFacts& f) override {
        activity = a;
        facts = f;
    }
    void PassEnded() override { ++passesEnded; }
    void Tell(const Notice& notice) override {
        messages.push_back({notice.text, notice.caption, notice.severity, false});
    }
    // Answers at once, by Confirm's answer (answerYes unless a test says otherwise).
    void Ask(const Question& question, Reply reply) override {
        reply(Confirm(question.text, question.caption));
    }
    void QuestionWithdrawn(int id) override { withdrawn.push_back(id); }
    virtual bool Confirm(const std::string& question, const std::string& caption) {
        messages.push_back({question, caption, Severity::kInfo, true});
        return answerYes;
    }

    std::string& Field(TimeField field) {
        switch (field) {
            case TimeField::kStartHour:
                return range.startHour;
            case TimeField::kStartMinute:
                return range.startMinute;
            case TimeField::kEndHour:
                return range.endHour;
            default:
                return range.endMinute;
        }
    }

    std::string statusText;
    bool statusShown = true;
    Meter meter = Meter::kNone;
    std::vector<int> progress;
    bool busy = false;
    DiscSpace discSpace;
    bool eraseOffered = true;
    std::vector<std::string> writeSpeeds;
    std::string target;
    std::vector<std::string> drives;
    bool viewerOffered = true;
    bool viewerChosen = false;
    std::string totalSize;
    std::map<TimeField, std::vector<std::string>> timeRows;
    TimeFields range;
    CameraPage page;
    bool selectAllPossible = true;
    bool pagesPossible = true;
    std::vector<std::string> listRows;
    int listRow = -1;
    bool entryPicked = true;
    bool memoEditable = true;
    std::string memo;
    Activity activity = Activity::kIdle;
    ActivityFacts facts;
    int passesEnded = 0;
    std::vector<Message> messages;
    bool answerYes = true;
    std::vector<int> withdrawn;  // the questions withdrawn, by id
};

}  // namespace backup
