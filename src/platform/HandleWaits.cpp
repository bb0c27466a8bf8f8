#include "platform/HandleWaits.h"

#include <poll.h>

#include <cstddef>

namespace platform {

// The entries are handed to poll as they are, with no copy per wait.
static_assert(sizeof(pollfd) == 8 && offsetof(pollfd, fd) == 0 && offsetof(pollfd, events) == 4 &&
              offsetof(pollfd, revents) == 6);

std::size_t HandleWaits::Add(int handle, bool forWriting) {
    entries_.push_back(Entry{handle, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0});
    return entries_.size() - 1;
}

void HandleWaits::Wait(int milliseconds) {
    for (auto& e : entries_)
        e.happened = 0;
    ::poll(reinterpret_cast<pollfd*>(entries_.data()), entries_.size(), milliseconds);
}

bool HandleWaits::Readable(std::size_t index) const {
    return (entries_[index].happened & POLLIN) != 0;
}

bool WaitReadable(int handle, int milliseconds) {
    pollfd p{handle, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) > 0;
}

bool WaitWritable(int handle, int milliseconds) {
    pollfd p{handle, POLLOUT, 0};
    return ::poll(&p, 1, milliseconds) > 0;
}

}  // namespace platform
