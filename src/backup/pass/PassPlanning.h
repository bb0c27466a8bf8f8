#pragma once
// Between the front end's parts and a pass: the plan taken from them when a pass starts, on the
// front end's own thread.
#include "app/CQuillonApp.h"
#include "backup/HostSettings.h"
#include "backup/TargetChoice.h"
#include "backup/pass/PassPlan.h"
#include "backup/pass/RunState.h"
#include "backup/schedule/ScheduleState.h"

// The texts a pass shows, from the language file the application reads.
backup::PassTexts PassTextsOf(const CQuillonApp& app);
// The plan of a pass from the parts as they are now: the host's settings, the target, the
// schedule's entries and total, and the run's choices (the viewer, the manifest).
backup::PassPlan MakePassPlan(const backup::HostSettings& host, const backup::TargetChoice& target,
                              const backup::ScheduleState& schedule, const backup::RunState& run,
                              backup::PassTexts texts);
