#include "platform/JournalLevel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/Terminal.h"

namespace platform {
namespace {

// Longest line held back for its end; a longer one goes out in pieces, each with the level.
constexpr std::size_t kLongestLine = 16 * 1024;

bool HasLevel(const std::string& line) {
    return line.size() >= 3 && line[0] == '<' && line[1] >= '0' && line[1] <= '7' && line[2] == '>';
}

void WriteToJournal(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;  // the journal is gone: nothing left to tell
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

JournalDefaultLevel::JournalDefaultLevel(int level) {
    if (!IsJournal(StandardStream::kOutput))
        return;
    const bool errorToo = IsJournal(StandardStream::kError);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    journal_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    savedError_ = errorToo ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    if (journal_ < 0 || (errorToo && savedError_ < 0) || ::dup2(pipe[1], STDOUT_FILENO) < 0 ||
        (errorToo && ::dup2(pipe[1], STDERR_FILENO) < 0)) {
        if (journal_ >= 0)
            ::dup2(journal_, STDOUT_FILENO);
        if (savedError_ >= 0)
            ::dup2(savedError_, STDERR_FILENO);
        for (const int fd : {pipe[0], pipe[1], journal_, savedError_})
            if (fd >= 0)
                ::close(fd);
        journal_ = savedError_ = -1;
        return;
    }
    ::close(pipe[1]);
    from_ = pipe[0];
    relay_ = std::thread([this, level] { Relay(level); });
}

JournalDefaultLevel::~JournalDefaultLevel() {
    if (!active())
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    // Back to the journal's stream: the pipe's last writer goes, and the relay ends with what
    // was written.
    ::dup2(journal_, STDOUT_FILENO);
    if (savedError_ >= 0)
        ::dup2(savedError_, STDERR_FILENO);
    relay_.join();
    for (const int fd : {from_, journal_, savedError_})
        if (fd >= 0)
            ::close(fd);
}

void JournalDefaultLevel::Relay(int level) {
    const std::string prefix = "<" + std::to_string(level) + ">";
    std::string line;
    const auto send = [&] {
        WriteToJournal(journal_, HasLevel(line) ? line : prefix + line);
        line.clear();
    };
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(from_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            line += buf[i];
            if (buf[i] == '\n' || line.size() >= kLongestLine)
                send();
        }
    }
    if (!line.empty()) {
        line += '\n';
        send();
    }
}

}  // namespace platform
