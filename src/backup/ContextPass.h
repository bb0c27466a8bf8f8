#pragma once
// Between the window's context and a pass: the plan taken from the context when a pass starts,
// and what the pass leaves for the context once it has ended. Both run on the context's own
// thread.
#include "backup/BackupContext.h"
#include "backup/PassEndings.h"

// The texts a pass shows, from the language file the application reads.
backup::PassTexts PassTextsOf(const CQuillonApp& app);
// The plan of a pass from the context as it is now.
backup::PassPlan TakePassPlan(const BackupContext& ctx);
// A new job for the plan, the context's current pass from now on.
backup::PassJob& BeginPass(BackupContext& ctx);

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
