#pragma once
// The image a command names: a folder (a drive path or a path of this machine) or, with
// --disc LETTER, the disc in that writer drive read through its file system.
#include <memory>
#include <string>

#include "integrity/ImageFiles.h"

// A drive path ("E:\x") through the drive table, anything else as a path of this machine; no
// slash at its end.
std::string CommandHostPath(const std::string& path);

// Null with why when there is no such folder or no readable disc.
std::unique_ptr<integrity::ImageFiles> OpenCommandImage(const std::string& disc,
                                                        const std::string& folder,
                                                        std::string& why);
