#pragma once
// Waiting on several handles (sockets, pipes) at once until one of them has something: data to
// read, room to write, a close or an error.
#include <cstddef>
#include <vector>

namespace platform {

class HandleWaits {
  public:
    void Clear() { entries_.clear(); }
    // Adds a handle to wait on for reading (or, with forWriting, for room to write); the index
    // to ask about it with. A handle of -1 is passed over by the wait.
    std::size_t Add(int handle, bool forWriting = false);
    std::size_t size() const { return entries_.size(); }
    // Waits up to milliseconds (-1: without limit) until one of the handles is stirred.
    void Wait(int milliseconds);
    // Since the last Wait: anything happened on the handle (data, a close, an error).
    bool Stirred(std::size_t index) const { return entries_[index].happened != 0; }
    // Since the last Wait: there is something to read (or, for a listener, to accept).
    bool Readable(std::size_t index) const;

  private:
    // As the system's wait takes it.
    struct Entry {
        int handle;
        short wanted;
        short happened;
    };
    std::vector<Entry> entries_;
};

// Waits up to milliseconds for something to read on one handle (or for a close); true when
// there is.
bool WaitReadable(int handle, int milliseconds);
// Waits up to milliseconds for room to write on one handle; true when there is.
bool WaitWritable(int handle, int milliseconds);

}  // namespace platform
