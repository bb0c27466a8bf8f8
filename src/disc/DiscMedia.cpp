#include "disc/DiscMedia.h"

#include <algorithm>
#include <cctype>

#include "ports/CDVDWriterPro2.h"

namespace disc {
namespace {

// DVD class codes with 4482 MB, CD class codes with 700 MB.
constexpr Medium kDvdPlusRw{1, "DVD+RW", 4482};
constexpr Medium kDvdPlusR{2, "DVD+R", 4482};
constexpr Medium kDvdMinusRw{3, "DVD-RW", 4482};
constexpr Medium kDvdMinusR{0, "DVD-R", 4482};
constexpr Medium kDvdRam{9, "DVD-RAM", 4482};
constexpr Medium kDvdRom{10, "DVD-ROM", 4482};
constexpr Medium kCdRw{253, "CD-RW", 700};
constexpr Medium kCdR{252, "CD-R", 700};
constexpr Medium kCdRom{251, "CD-ROM", 700};
constexpr Medium kNoDisc{kMediaNoDisc, "no disc", 0};

}  // namespace

Medium MediumByName(const std::string& name) {
    std::string n = name;
    std::transform(n.begin(), n.end(), n.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (n.empty() || n == "dvd+rw")
        return kDvdPlusRw;
    if (n == "dvd+r")
        return kDvdPlusR;
    if (n == "dvd-rw")
        return kDvdMinusRw;
    if (n == "dvd-r")
        return kDvdMinusR;
    if (n == "cd-rw")
        return kCdRw;
    if (n == "cd-r")
        return kCdR;
    return kNoDisc;
}

Medium MediumByProfile(int profile) {
    switch (profile) {
        case 0x08:
            return kCdRom;
        case 0x09:
            return kCdR;
        case 0x0a:
            return kCdRw;
        case 0x10:
            return kDvdRom;
        case 0x11:
        case 0x15:
        case 0x16:
            return kDvdMinusR;
        case 0x12:
        case 0x43:  // BD-RE: overwritten in place, as DVD-RAM
            return kDvdRam;
        case 0x13:
        case 0x14:
            return kDvdMinusRw;
        case 0x1a:
            return kDvdPlusRw;
        case 0x1b:
        case 0x2b:
        case 0x41:  // BD-R: write-once, as DVD+R
        case 0x42:
            return kDvdPlusR;
        case 0x40:
            return kDvdRom;
        default:
            return kNoDisc;
    }
}

double SpeedStepKB(long mediaType) {
    return IsDvdMedia(mediaType) ? 1380.0 : 176.0;
}

}  // namespace disc
