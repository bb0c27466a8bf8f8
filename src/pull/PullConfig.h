#pragma once
// A recorder to pull from, as /etc/quillon/pull.d/NAME.conf describes it: lines "key = value",
// "#" comments. Keys: remote (ADDRESS:PORT, or https://ADDRESS:PORT for TLS), token-file,
// cameras (all, or 1,2,5), range (see PullRange.h), target (the folder the images go into, one
// per run), camera-count, time-zone (the recorder's, "Europe/Berlin"), build-stall (how long
// the recorder may say it builds the image without progress: "30 min", "90 s", "2 h", a bare
// number in minutes), and for TLS pin or ca.
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pull {

struct PullConfig {
    std::string remote;
    std::string tokenFile;
    std::string cameras = "all";
    std::vector<int> cameraNumbers;  // those of cameras, from 1; empty for all
    std::string range = "yesterday";
    std::string target;
    int cameraCount = 64;
    std::string pin;
    std::string ca;
    // The zone of the recorder's clock, in which its days and the range are reckoned; "" for
    // this machine's.
    std::string timeZone;
    int buildStallSeconds = 0;  // 0 for the client's own limit
};

// The folder of the pull configurations: $QUILLON_PULL_DIR, else /etc/quillon/pull.d.
std::string PullConfigFolder();
// Reads NAME's file, or says why not (naming the file and line): not found when it is missing,
// refused when it may not be trusted, damaged when what it says is wrong.
platform::Expected<PullConfig> ReadPullConfig(const std::string& name);

}  // namespace pull
