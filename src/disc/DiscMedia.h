#pragma once
// What the dialog is told of a medium: its media type code and disc status, from a libburn
// profile or from the medium a pseudo-drive stands for. The codes keep the dialog's classes:
// 254 no disc; 1, 3, 9 and 253 rewritable; 0, 1, 2, 3, 9 and 10 the DVD class.
#include <string>

namespace disc {

enum DiscStatus : long {
    kStatusBlank = 0,
    kStatusAppendable = 1,  // holds data
    kStatusFull = 2,        // holds data
};

struct Medium {
    long type = 254;  // media type code
    const char* name = "no disc";
    long capacityMB = 0;  // the usual size of such a medium
};

// A pseudo-drive's Media= value ("cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+rw",
// "none"); "" is a DVD+RW. An unknown name is no disc.
Medium MediumByName(const std::string& name);
// A libburn profile number (0 when there is no medium).
Medium MediumByProfile(int profile);

// The speed of "1x" for the media type, in KB/s (k = 1024), as the dialog counts it.
double SpeedStepKB(long mediaType);

}  // namespace disc
