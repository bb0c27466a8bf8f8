#pragma once
// The passes a front end runs, one owner: the choices for the next pass, whether one runs, the
// job of the running (or last) pass, and what the last one left once it has ended.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "backup/pass/BackupReport.h"
#include "backup/pass/PassEnding.h"
#include "backup/pass/PassJob.h"
#include "backup/remote/LinkState.h"
#include "platform/Types.h"
#include "ports/EntryVideo.h"
#include "ports/ExhibitPdf.h"

namespace backup {

struct RunState {
    BOOL includeViewer = 0;  // the viewer goes into the next image
    bool mp4 = false;        // each entry of the next image gets its cameras' MP4 files
    // What makes the MP4 files, when the front end has it.
    ports::IEntryVideo* video = nullptr;
    ports::IExhibitPdf* exhibitPdf = nullptr;  // sets the exhibit report as a PDF, when given
    exhibit::CaseDetails caseDetails;          // for the next image's exhibit report
    // Every pass writes the image's manifest unless turned off (to measure without it).
    bool manifest = true;
    // Set while a pass runs; cleared to stop it at its next check.
    std::atomic<BOOL> running{0};
    BackupReport report;
    // The running pass, or the last one: made when a pass starts, from a plan of the context.
    std::shared_ptr<PassJob> job;
    // Of the last pass, once it has ended.
    std::atomic<DWORD> doneSize{0};
    std::string manifestNote;    // what its manifest holds, or why it is missing
    std::string keyFingerprint;  // of the key that signed it; "" when not signed
    // How it ended, as its source told; none while it runs, and for a run over the link that
    // the link ended between its steps.
    std::optional<PassEnding> ending;

    // A new job for plan, the running pass from now on; a remote pass fetches the entries the
    // plan marks pending over link's port, and tells how each fetch goes to its inbox.
    PassJob& Begin(PassPlan plan, IPassEvents& events, const LinkState& link);
    // The done size, the manifest's note and the signing key of the job, once it has ended.
    void TakeResults();
};

}  // namespace backup
