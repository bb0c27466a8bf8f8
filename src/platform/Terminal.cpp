#include "platform/Terminal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {

int Descriptor(StandardStream stream) {
    return stream == StandardStream::kInput    ? STDIN_FILENO
           : stream == StandardStream::kOutput ? STDOUT_FILENO
                                               : STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StandardStream stream) {
    return ::isatty(Descriptor(stream)) != 0;
}

bool IsJournal(StandardStream stream) {
    const char* named = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    char rest = 0;
    if (!named || std::sscanf(named, "%llu:%llu%c", &device, &inode, &rest) != 2)
        return false;
    struct stat st {};
    if (::fstat(Descriptor(stream), &st) != 0)
        return false;
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

}  // namespace platform
