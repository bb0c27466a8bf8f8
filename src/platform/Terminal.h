#pragma once
// Whether the program talks to a person at a terminal or to a file or another program.
namespace platform {

enum class StandardStream { kInput, kOutput, kError };

// True when the stream is a terminal (so that a progress bar can be drawn over itself).
bool IsTerminal(StandardStream stream);

}  // namespace platform
