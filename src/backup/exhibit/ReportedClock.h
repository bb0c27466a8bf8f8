#pragma once
// The recorder's clock as an image's own report states it: what its backup measured, for files
// made from the image later.
#include <string>

#include "backup/exhibit/ExhibitFacts.h"
#include "backup/exhibit/JsonValue.h"
#include "integrity/ImageFiles.h"

namespace exhibit {

// recorder.clock of a report read back; method "none" when it has none.
ClockCheck ClockOfReport(const JsonValue& report);

// The clock of the report the image's manifest lists; method "none", with why in its detail,
// when the image has no such report or it cannot be read.
ClockCheck ClockOfImage(integrity::ImageFiles& image);

}  // namespace exhibit
