#pragma once
// The folders whose files start for their device as soon as each is committed (see
// File::StartWriteback): those an image is flushed from at its end, so that the device works
// while the pass goes on, whichever thread writes there. Elsewhere (a recorder's temporary
// images, a disc's staging folder) the system keeps written files in memory as long as it
// likes, and a file deleted soon after never reaches a disk at all.
#include <string>

namespace platform {

// Counted: a folder stays in while anyone has it in.
void BeginEarlyWriteback(const std::string& hostFolder);
void EndEarlyWriteback(const std::string& hostFolder);
// True when hostPath lies below a folder that is in.
bool WantsEarlyWriteback(const std::string& hostPath);

}  // namespace platform
