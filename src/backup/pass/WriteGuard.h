#pragma once
// Where the tool may write. The recordings are read-only to it, and the image never goes into
// its own working folder (whose clean-up would take it): a folder that leads there, by its name
// or through a link, is refused before anything is made in it.
#include <string>

#include "backup/HostSettings.h"
#include "platform/Error.h"

// Whether the tool may write into folder (a drive path; it may not exist yet): refused, about
// folder, when it leads where the tool must not write; not found when its drive is not in the
// table. within, when given, is the folder it must stay inside (its target or its working
// folder), so that a link cannot lead it elsewhere. image: the folder belongs to an image, which
// the working folder may not hold either.
platform::Outcome CheckWriteFolder(const backup::HostSettings& host, const std::string& folder,
                                   const std::string& within, bool image);

// The same for the working folder and, when given, one entry's folder in it.
platform::Outcome CheckWorkingFolder(const backup::HostSettings& host,
                                     const std::string& entryFolder = "");
