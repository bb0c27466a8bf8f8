#include "platform/Terminal.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(StandardStream stream) {
    const int fd = stream == StandardStream::kInput    ? STDIN_FILENO
                   : stream == StandardStream::kOutput ? STDOUT_FILENO
                                                       : STDERR_FILENO;
    return ::isatty(fd) != 0;
}

}  // namespace platform
