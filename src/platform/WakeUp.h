#pragma once
// A handle that one thread waits on among others (HandleWaits) and another stirs, to make the
// first look again at what it was told. Wakes that come before the wait are not lost.
namespace platform {

class WakeUp {
  public:
    WakeUp() = default;
    ~WakeUp() { Close(); }
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;

    // False when the system has no handle left for it.
    bool Open();
    void Close();
    // From any thread; never blocks.
    void Wake();
    // Takes back every wake so far, so that the handle reads quiet again.
    void Drain();
    // What to wait on for reading.
    int handle() const { return read_; }

  private:
    int read_ = -1, write_ = -1;
};

}  // namespace platform
