#pragma once
// Whether the program talks to a person at a terminal, to the system's journal, or to a file or
// another program.
namespace platform {

enum class StandardStream { kInput, kOutput, kError };

// True when the stream is a terminal (so that a progress bar can be drawn over itself).
bool IsTerminal(StandardStream stream);

// True when the stream is the journal's own (systemd names it in JOURNAL_STREAM as
// "DEVICE:INODE"), so that lines may carry a "<N>" level prefix. A stream the program was given
// elsewhere (a redirect in a script the service runs) is not, although the variable is inherited.
bool IsJournal(StandardStream stream);

}  // namespace platform
