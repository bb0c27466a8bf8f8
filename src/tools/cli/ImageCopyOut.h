#pragma once
// Files of an image that is not a folder (a written disc) copied into a scratch folder of ours,
// for the readers that need them as files: the video export and the MP4 check.
#include <string>
#include <vector>

#include "integrity/ImageFiles.h"

// The first folder names of the listing's paths (the image's entries and other top folders).
std::vector<std::string> TopFolders(const std::vector<integrity::ImageFiles::Entry>& listing);

// Copies the listed regular files whose paths begin with prefix into hostFolder, under their
// paths in the image; false with why (a full disk, a file that cannot be read, a path that
// would leave the folder).
bool CopyImageFilesOut(integrity::ImageFiles& image,
                       const std::vector<integrity::ImageFiles::Entry>& listing,
                       const std::string& prefix, const std::string& hostFolder, std::string& why);
