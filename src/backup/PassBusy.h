#pragma once
// What keeps the schedule and the target from being changed: a running pass, or a disc being
// written. The commands that would change them are refused with the text that says which.
#include "backup/CommandResult.h"
#include "backup/OperatorPrompts.h"
#include "backup/disc/DiscState.h"
#include "backup/pass/RunState.h"

namespace backup {

struct PassBusy {
    const RunState& run;
    const DiscState& disc;

    // Refused with M010016 while a pass runs, M010017 while a disc is written; done when idle.
    CommandResult Refuse(OperatorPrompts& prompts) const {
        if (run.running)
            return prompts.Refuse("M010016");
        if (disc.writing)
            return prompts.Refuse("M010017");
        return {};
    }
};

}  // namespace backup
