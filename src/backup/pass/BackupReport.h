#pragma once
// What went wrong in a backup pass beyond what the operator is shown, and how each entry of the
// schedule ended: the front ends decide from it whether the job as a whole succeeded and which
// entries stay in the schedule. Written by the worker, read after the pass.
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Types.h"
#include "records/ScheduleEntry.h"

// How one entry of the schedule ended in the last pass.
struct EntryOutcome {
    bool reached = false;   // the pass came to it
    bool complete = false;  // every minute, file and record of it is in the image
    std::string why;        // the first thing it lacks, in the operator's words
    // The cause lies in the recording itself (a damaged or half-gone minute): another pass
    // would copy the same.
    bool recordingDamaged = false;
};

// One thing a pass could not do: of which entry ("" for the image as a whole), what it was, and
// whether its cause lies in the recording itself.
struct PassFailure {
    std::string entry;
    std::string what;
    bool recordingDamaged = false;
    // Of a damaged recording: the minute of the day and the camera (from 0) it lies in; -1 when
    // it is not one minute, or all of the minute's cameras.
    int minute = -1, camera = -1;
    // As the operator reads it: "entry: what", or what alone.
    std::string Text() const { return entry.empty() ? what : entry + ": " + what; }
};

class BackupReport {
  public:
    BackupReport() = default;
    // What other holds, taken under its lock: a pass's report handed over once it has ended.
    BackupReport(const BackupReport& other);
    BackupReport& operator=(const BackupReport& other);

    // A failure of the image as a whole, and one of an entry (named as the image names it).
    void Fail(const std::string& what);
    void Fail(const std::string& entry, const std::string& what);
    // A failure of an entry whose cause lies in the recording itself (a damaged or half-gone
    // minute): another pass would copy the same.
    void Damaged(const std::string& entry, const std::string& what, int minute = -1,
                 int camera = -1);
    // Failures there are, and each of them lies in the recording: what could be copied was, and
    // the image is as whole as the recording lets it be.
    bool OnlyRecordingDamaged() const;
    // The target can take nothing more (full, gone, read-only): entered once, however many
    // files fail after it. True the first time.
    bool TargetLost(const std::string& what);
    bool targetLost() const;
    // The image as a whole did not reach its target's device: no entry of it is whole.
    void ImageLost(const std::string& what);
    // The entries made whole so far lack something of the image as a whole (its manifest),
    // for why: none of them is complete, and none lacks only what its recording lacks. The
    // failure itself is entered by who found it.
    void EntriesLack(const std::string& why);
    void Reset();
    std::vector<PassFailure> Failures() const;
    // Each failure's Text().
    std::vector<std::string> failures() const;
    std::size_t failureCount() const;
    // Of failureCount(), those entered as Damaged.
    std::size_t damagedCount() const;
    bool ok() const;
    // The pass ended before its last entry (cancelled, or the target was lost).
    void Stopped();
    bool stopped() const;
    // Whether the pass made the entry of a slot whole, and if not, why.
    void EntryDone(int slot, bool complete, const std::string& why = std::string(),
                   bool recordingDamaged = false);
    bool EntryComplete(int slot) const;
    EntryOutcome Entry(int slot) const;
    std::atomic<DWORD> filesCopied{0};
    std::atomic<DWORD> minutesRebuilt{0};

  private:
    mutable std::mutex mutex_;
    std::vector<PassFailure> failures_;
    std::size_t damaged_ = 0;  // of failures_, those of the recording
    bool targetLost_ = false;
    bool stopped_ = false;
    std::array<EntryOutcome, kScheduleSlots> entries_{};
};

// What an entry the pass never came to lacks.
constexpr const char* kEntryNotReached = "not written: the backup ended before it came to it";
