#pragma once
// Between the window's context and a pass: the plan taken from the context when a pass starts,
// and what the pass leaves for the context once it has ended. Both run on the context's own
// thread.
#include "backup/BackupContext.h"

// The texts a pass shows, from the language file the application reads.
backup::PassTexts PassTextsOf(const CQuillonApp& app);
// The plan of a pass from the context as it is now.
backup::PassPlan TakePassPlan(const BackupContext& ctx);
// A new job for the plan, the context's current pass from now on.
backup::PassJob& BeginPass(BackupContext& ctx);
