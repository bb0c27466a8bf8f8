#pragma once
// What the process does with the system's signals: the ones it is asked to stop with (an
// interrupt from the terminal, a request to end) are taken by a thread that waits for them
// rather than by a handler, and a broken pipe is an error to the writer, not the process's end.
#include <string>

namespace platform {

// Holds the stop signals back from the calling thread and from every thread started from it
// afterwards, for WaitForStopSignal: call before any other thread starts.
void HoldStopSignals();
// Waits for a stop signal held back; its name ("Interrupt", "Terminated").
std::string WaitForStopSignal();

// A write to a pipe or socket whose reader has gone fails instead of ending the process.
void IgnoreBrokenPipes();

}  // namespace platform
