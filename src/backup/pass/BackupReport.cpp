#include "backup/pass/BackupReport.h"

BackupReport::BackupReport(const BackupReport& other) {
    *this = other;
}

BackupReport& BackupReport::operator=(const BackupReport& other) {
    if (this == &other)
        return *this;
    std::scoped_lock lock(mutex_, other.mutex_);
    failures_ = other.failures_;
    damaged_ = other.damaged_;
    targetLost_ = other.targetLost_;
    stopped_ = other.stopped_;
    entries_ = other.entries_;
    filesCopied = other.filesCopied.load();
    minutesRebuilt = other.minutesRebuilt.load();
    return *this;
}

void BackupReport::Fail(const std::string& what) {
    Fail(std::string(), what);
}

void BackupReport::Fail(const std::string& entry, const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back({entry, what, false});
}

void BackupReport::Damaged(const std::string& entry, const std::string& what, int minute,
                           int camera) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back({entry, what, true, minute, camera});
    ++damaged_;
}

bool BackupReport::OnlyRecordingDamaged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !failures_.empty() && damaged_ == failures_.size() && !targetLost_ && !stopped_;
}

void BackupReport::ImageLost(const std::string& what) {
    Fail(what);
    EntriesLack(what);
}

void BackupReport::EntriesLack(const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (EntryOutcome& e : entries_) {
        if (e.complete) {
            e.complete = false;
            e.why = why;
        }
        // Another pass would write what the image lacks now, whatever the recording lacks.
        e.recordingDamaged = false;
    }
}

bool BackupReport::TargetLost(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (targetLost_)
        return false;
    targetLost_ = true;
    failures_.push_back({std::string(), what, false});
    return true;
}

bool BackupReport::targetLost() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return targetLost_;
}

void BackupReport::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.clear();
    damaged_ = 0;
    targetLost_ = false;
    stopped_ = false;
    entries_.fill(EntryOutcome{});
    filesCopied = 0;
    minutesRebuilt = 0;
}

std::size_t BackupReport::failureCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.size();
}

std::size_t BackupReport::damagedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return damaged_;
}

void BackupReport::EntryDone(int slot, bool complete, const std::string& why,
                             bool recordingDamaged) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kScheduleSlots)
        return;
    EntryOutcome& e = entries_[static_cast<std::size_t>(slot)];
    e.reached = true;
    e.complete = complete;
    e.why = complete ? std::string() : why;
    e.recordingDamaged = !complete && recordingDamaged;
}

bool BackupReport::EntryComplete(int slot) const {
    return Entry(slot).complete;
}

EntryOutcome BackupReport::Entry(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kScheduleSlots)
        return EntryOutcome{};
    EntryOutcome e = entries_[static_cast<std::size_t>(slot)];
    if (!e.reached)
        e.why = kEntryNotReached;
    return e;
}

std::vector<PassFailure> BackupReport::Failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

std::vector<std::string> BackupReport::failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const PassFailure& f : failures_)
        texts.push_back(f.Text());
    return texts;
}

void BackupReport::Stopped() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
}

bool BackupReport::stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

bool BackupReport::ok() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.empty();
}
