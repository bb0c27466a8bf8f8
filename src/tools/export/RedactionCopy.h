#pragma once
// What a redacted working copy says of itself, in its folder beside its MP4 files:
// REDACTION.json (the master image, each mask and mute as given, what each hid in each file, the
// program) and SHA256SUMS over the MP4 files and REDACTION.json, signed as an image's manifest is
// when this machine has a signing key.
#include <string>
#include <vector>

#include "export/RedactionMasks.h"
#include "video/RedactionPlan.h"

struct RedactedFile {
    std::string path;  // host path, inside the copy's folder
    int camera = 0;    // from 0
    video::FileRedaction hidden;
};

// "" when both were written (under temporary names, the manifest last), else why not.
std::string WriteRedactionAccount(const std::string& folder, const MaskFile& masks,
                                  const std::vector<RedactedFile>& files);

constexpr const char* kRedactionAccountName = "REDACTION.json";
