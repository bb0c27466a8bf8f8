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
// A write past the process's file-size limit fails as a full target does instead of ending it.
void IgnoreFileSizeLimit();
// From now on an interrupt or a request to end calls handler (on whatever thread the system
// picks: it may only set an atomic flag).
void OnStopSignal(void (*handler)(int));

}  // namespace platform
