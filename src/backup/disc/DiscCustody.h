#pragma once
// A disc written from the disc image folder, and its read-back against the image when it was
// checked, go into the base folder's custody log: the disc itself takes no line more once
// written, and carries the image's log as it was when the image was made.
#include <string>

namespace backup {

// The events, by actor ("" for this process's), for the image in the disc image folder (which
// must still be there: its manifest is what they name). "" when they were noted or the image
// has no manifest to name; else why the log could not take them, in words for the operator.
std::string LogDiscWritten(const std::string& basePath, bool readBack, const std::string& actor);

}  // namespace backup
