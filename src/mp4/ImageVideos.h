#pragma once
// The MP4 files of an image, each checked for its export boxes and its signature: below a folder
// image, or read out of an image that is no folder (a written disc), one at a time.
#include <string>
#include <vector>

#include "integrity/ImageFiles.h"
#include "mp4/ExportVerifier.h"

namespace mp4 {

struct VideoCheck {
    std::string name;  // its path in the image
    ExportCheck check;
};

// Whether a file's name says it is an MP4 file.
bool IsMp4Name(const std::string& name);

// The paths below hostRoot of the MP4 files in it and its subfolders, in name order.
std::vector<std::string> FolderVideos(const std::string& hostRoot);

// Each MP4 file below hostRoot, through its subfolders, in name order; trustedDer: the
// certificate to trust ("" trusts the one each file carries).
std::vector<VideoCheck> CheckFolderVideos(const std::string& hostRoot,
                                          const std::string& trustedDer);

// Each MP4 file of image, copied into a scratch folder of ours for the check (which reads a file
// at offsets) and deleted after it; a file that cannot be copied fails with why. False when none
// could be checked: problem says why, or is "" when the image cannot be listed (its own check
// says so).
bool CheckImageVideos(integrity::ImageFiles& image, const std::string& trustedDer,
                      std::vector<VideoCheck>& checks, std::string& problem);

}  // namespace mp4
