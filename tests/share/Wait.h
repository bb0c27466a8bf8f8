#pragma once
// The one way the tests wait for an event nothing notifies: looked at every few milliseconds
// until it holds, with a guard of minutes against a hang that is never a bound on the event.
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
