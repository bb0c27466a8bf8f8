#pragma once
// The masks file of a redacted export (docs/redaction.md): what to hide of which camera's
// pictures and audio, over which recorded times. Read whole before anything is made; a file
// that is wrong anywhere is refused with where.
#include <string>

#include "backup/exhibit/JsonValue.h"
#include "video/RedactionPlan.h"

struct MaskFile {
    video::RedactionPlan plan;    // its masks and mutes in the file's order
    exhibit::JsonValue document;  // as read, for the copy's account of each mask as given
};

// "" and out, or what is wrong and where ("masks[1].method: ...").
std::string ParseMaskFile(const std::string& text, MaskFile& out);
