#pragma once
// Between the window's context and a pass: the plan taken from its parts when a pass starts, and
// what the end of the pass does to the context. Both run on the context's own thread.
#include "backup/BackupContext.h"
#include "backup/PassEndings.h"

// The texts a pass shows, from the language file the application reads.
backup::PassTexts PassTextsOf(const CQuillonApp& app);
// The plan of a pass from the parts as they are now: the host's settings, the target, the
// schedule's entries and total, and the run's choices (the viewer, the manifest).
backup::PassPlan MakePassPlan(const backup::HostSettings& host, const backup::TargetChoice& target,
                              const backup::ScheduleState& schedule, const backup::RunState& run,
                              backup::PassTexts texts);

// A pass's end on the context: the schedule, the target and the window after a local pass or a
// remote run.
class ContextPassEndings final : public backup::IPassEndings {
  public:
    explicit ContextPassEndings(BackupContext& ctx) : ctx_(ctx) {}
    void LocalPassEnded() override;
    void RemoteRunEnded(const RemoteStep& step) override;

  private:
    BackupContext& ctx_;
};
