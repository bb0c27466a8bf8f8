#include "platform/Signals.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>

namespace platform {
namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void HoldStopSignals() {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::string WaitForStopSignal() {
    const sigset_t set = StopSignals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    return strsignal(sig);
}

void IgnoreBrokenPipes() {
    signal(SIGPIPE, SIG_IGN);
}

void IgnoreFileSizeLimit() {
    signal(SIGXFSZ, SIG_IGN);
}

void OnStopSignal(void (*handler)(int)) {
    signal(SIGINT, handler);
    signal(SIGTERM, handler);
}

}  // namespace platform
