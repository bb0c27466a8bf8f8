#pragma once
// The MP4 encoder's libraries are many and large, and cairo, which sets the exhibit report's
// PDF, brings the X11 client libraries; quillon-cli is built without them and hands what needs
// them (export, backup --mp4, and a backup's REPORT.pdf) to quillon-cli-video, the same program
// built with them, installed apart so that a machine without a screen need not carry them.
#include <string>
#include <vector>

// The helper beside this program (a build tree), or in the folder the packages install helpers
// into; "" when it is not installed.
std::string VideoHelperPath();

// Runs quillon-cli-video with this command line in place of this process. Returns only when
// it could not (the exit status, after saying why).
int HandToVideoHelper(const std::vector<std::string>& args);
