#pragma once
// Where the tool may write. The recordings are read-only to it, and the image never goes into
// its own working folder (whose clean-up would take it): a folder that leads there, by its name
// or through a link, is refused before anything is made in it.
#include <string>

#include "backup/HostSettings.h"

// Why the tool may not write into folder (a drive path; it may not exist yet): "" when it may.
// within, when given, is the folder it must stay inside (its target or its working folder), so
// that a link cannot lead it elsewhere. image: the folder belongs to an image, which the working
// folder may not hold either.
std::string WriteFolderProblem(const backup::HostSettings& host, const std::string& folder,
                               const std::string& within, bool image);

// The same for the working folder and, when given, one entry's folder in it.
std::string WorkingFolderProblem(const backup::HostSettings& host,
                                 const std::string& entryFolder = "");
