#include "disc/BurnMessages.h"

#include <cerrno>
#include <cstring>

// libisofs declares a global struct burn_source; libburn declares its own in namespace burn.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include "disc/BurnWriter.h"

namespace disc {
namespace {

bool Troubling(const char* severity) {
    for (const char* s : {"SORRY", "FAILURE", "FATAL", "ABORT"})
        if (std::strcmp(severity, s) == 0)
            return true;
    return false;
}

}  // namespace

std::string BurnMessages(int& osErrno, bool* threadEnded) {
    std::string worst;
    char minimum[] = "ALL";
    int code = 0, err = 0;
    char text[BURN_MSGS_MESSAGE_LEN] = {}, severity[80] = {};
    while (burn::burn_msgs_obtain(minimum, &code, text, &err, severity) > 0) {
        if (threadEnded && std::strstr(text, "thread on drive") && std::strstr(text, "ended"))
            *threadEnded = true;
        if (!Troubling(severity))
            continue;
        if (worst.empty() || std::strcmp(severity, "FAILURE") == 0 ||
            std::strcmp(severity, "FATAL") == 0) {
            worst = text;
            osErrno = err;
        }
    }
    return worst;
}

std::string IsoMessages() {
    std::string all;
    char minimum[] = "SORRY";
    int code = 0, image = 0;
    char text[ISO_MSGS_MESSAGE_LEN] = {}, severity[80] = {};
    while (iso_obtain_msgs(minimum, &code, &image, text, severity) > 0)
        all = all.empty() ? std::string(text) : all + "; " + text;
    return all;
}

bool HoldsIso(const platform::LockedFile& file) {
    unsigned char block[8] = {};
    return file.ReadAt(block, sizeof block, 16 * kBlock) == sizeof block && block[0] == 1 &&
           std::memcmp(block + 1, "CD001", 5) == 0;
}

long WriterErrorCode(const std::string& message, int osErrno) {
    auto has = [&](const char* word) { return strcasestr(message.c_str(), word) != nullptr; };
    if (osErrno == ENOSPC || osErrno == EFBIG || has("no space") || has("end of medi") ||
        has("too large") || has("larger than"))
        return 1021;
    if (has("no disc") || has("no media") || has("medium not present"))
        return 1033;
    if (has("not ready"))
        return 1002;
    if (has("underrun"))
        return 1008;
    if (has("not blank"))
        return 1028;
    if (has("erase") || has("blank"))
        return 1036;
    if (has("unsuitable") || has("not suitable"))
        return 1028;
    if (has("scsi") || has("transport") || has("command"))
        return 1003;
    if (osErrno == EIO || has("input/output"))
        return 1001;
    return 1005;
}

}  // namespace disc
