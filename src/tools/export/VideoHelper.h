#pragma once
// The MP4 encoder's libraries are many and large; quillon-cli is built without them and hands
// what makes MP4 files (export, backup --mp4) to quillon-cli-video, the same program built with
// them, installed apart so that a machine without a screen need not carry them.
#include <string>
#include <vector>

// Runs quillon-cli-video with this command line in place of this process: the one beside this
// program (a build tree), or in the folder the packages install helpers into. Returns only when
// it could not (the exit status, after saying why).
int HandToVideoHelper(const std::vector<std::string>& args);
