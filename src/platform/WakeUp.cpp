#include "platform/WakeUp.h"

#include <fcntl.h>
#include <unistd.h>

#include <initializer_list>

namespace platform {

bool WakeUp::Open() {
    Close();
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    read_ = ends[0];
    write_ = ends[1];
    return true;
}

void WakeUp::Close() {
    for (int* fd : {&read_, &write_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void WakeUp::Wake() {
    if (write_ >= 0) {
        // A full pipe has wakes enough waiting.
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(write_, &byte, 1);
    }
}

void WakeUp::Drain() {
    char drain[256];
    while (::read(read_, drain, sizeof drain) > 0) {
    }
}

}  // namespace platform
