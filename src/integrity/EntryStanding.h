#pragma once
// What an image's check says of one of its entries: an entry is good evidence when every file of
// it the manifest lists matches under a trusted manifest and signature, and the backup that made
// the image did not say the entry is incomplete, even when other entries of a partial image are.
#include <string>

#include "integrity/Verify.h"

namespace integrity {

// "" when the check vouches for the entry (its folder name in the image), else what it lacks or
// why nothing of the image can be vouched for, in a few words ("incomplete: the target is full",
// "2 files changed: 2026_01_05=09,58~10,03/20260105/09/0958N.idx, …").
std::string WhatEntryLacks(const VerifyReport& report, const std::string& entryFolder);

// The check failed only because the image is partial: every file it lists matches.
bool OnlyPartial(const VerifyReport& report);

}  // namespace integrity
