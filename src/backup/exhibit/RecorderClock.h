#pragma once
// The recorder's clock as the report states it: measured over the link for a remote recorder;
// for a local one, whose clock is this machine's, the kernel's word on its synchronisation.
#include "backup/exhibit/ExhibitFacts.h"
#include "backup/remote/RemoteRecorder.h"

namespace exhibit {

ClockCheck LinkClockCheck(const backup::ClockMeasure& measure);
ClockCheck KernelClockCheck();

}  // namespace exhibit
