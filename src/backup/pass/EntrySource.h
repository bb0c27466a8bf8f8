#pragma once
// Where a pass takes its entries from: this recorder's own storage, or a remote recorder over
// the link. The worker runs a pass by its source alone and hands on how it ended; neither
// source knows the front end.
#include <optional>

#include "backup/pass/PassEnding.h"
#include "backup/pass/PassJob.h"

namespace backup {

// What a step of a pass came to: whether the worker lets go of the job (it then takes no more
// steps of it, whatever wakes it), and how the pass ended when the front end is to hear of it
// now.
struct PassStep {
    bool dropJob = false;
    std::optional<PassEnding> ending;
};

class EntrySource {
  public:
    virtual ~EntrySource() = default;
    // One step of the job's pass into its sink, on the worker's thread, each time the worker
    // wakes for the job.
    virtual PassStep Step(PassJob& job) = 0;
    // The worker is told to end while the job waits between its steps: what the pass still
    // owes its image (its manifest), and how it ended if the front end is to hear of it.
    virtual std::optional<PassEnding> Abandon(PassJob& job) = 0;
};

// Every used entry of the plan from this recorder's storage, the viewer first when it is
// asked for: the whole pass in one step.
class RecorderSource final : public EntrySource {
  public:
    PassStep Step(PassJob& job) override;
    std::optional<PassEnding> Abandon(PassJob&) override { return std::nullopt; }
};

// The entries the plan marks pending, one at a time from the remote recorder, the whole pass in
// one step: each is fetched (the call returns once its image is in place or the fetch ended),
// its MP4 files made when asked, and then the next. A pass stopped meanwhile ends its fetch at
// once.
class LinkSource final : public EntrySource {
  public:
    PassStep Step(PassJob& job) override;
    std::optional<PassEnding> Abandon(PassJob& job) override;
};

// The source of a plan (its host's mode says where the recordings lie). Sources keep nothing
// of their own: a job's state is the job's.
EntrySource& SourceOf(const PassPlan& plan);

}  // namespace backup
