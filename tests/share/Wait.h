#pragma once
// The one way the share tests wait for an event (a file appearing, a state reached, a line
// written) that nothing notifies: it is looked at again every few milliseconds until it holds,
// with a guard against a hang (minutes, for events on this machine that take milliseconds) that
// is never a bound on how long the event may take.
#include <chrono>
#include <thread>

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds guard = std::chrono::minutes(2)) {
    const auto until = std::chrono::steady_clock::now() + guard;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
