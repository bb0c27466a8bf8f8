#pragma once
// The worker's side of a remote pass: one step at a time, each handing the next entry to the
// share client, until the run is over.
#include <string>

#include "backup/PassJob.h"

// How a step of a remote pass ended: with an entry handed to the share client (not ended), or
// with the pass over: every entry fetched, no link to fetch with, or files lost on the way.
struct RemoteStep {
    enum class End { kNone, kFetched, kNoLink, kLost, kStopped };
    End end = End::kNone;
    std::string why;  // what was lost, or why the link ended the run
    bool ended() const { return end != End::kNone; }
};
// One step of a remote pass on the worker: hands the next pending entry to the share client.
RemoteStep RunRemoteStep(backup::PassJob& job);
