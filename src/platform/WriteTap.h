#pragma once
// Sees the bytes of every file written through AtomicFile on this thread while a tap is
// installed, so that a backup pass can hash its image as it writes it instead of reading the
// image back. A tap may be used from several threads; each file is written by one.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "platform/File.h"

namespace platform {

class WriteTap {
  public:
    virtual ~WriteTap() = default;
    // A new file that takes finalHostPath when committed; a handle for the calls below, or -1
    // when the tap does not look at this file (outside what it covers).
    virtual int Opened(const std::string& finalHostPath) = 0;
    // A buffer of at least kBufferBytes to read the file's next bytes into, then Hand over; may
    // wait until the tap has taken in earlier ones.
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
    virtual char* TakeBuffer() = 0;
    // The next count bytes of the file, in a buffer from TakeBuffer, which the tap owns again.
    virtual void Hand(int handle, char* buffer, std::size_t count) = 0;
    // The file was committed under its final name holding length bytes as the file id, or
    // abandoned.
    virtual void Closed(int handle, bool committed, long long length, FileId id) = 0;
    // The same for a file whose writer hashed its bytes itself as it wrote them (a download,
    // which checks them against a digest anyway) instead of handing them over: hashed bytes
    // had the SHA-256 sha256Hex. Hashing them twice would cost as much as the download.
    virtual void ClosedHashed(int handle, bool committed, long long length, FileId id,
                              long long hashed, const std::string& sha256Hex) = 0;
    // A file committed before was deleted again by the writer on purpose: no part of what it
    // wrote.
    virtual void Withdrawn(const std::string& finalHostPath) { (void)finalHostPath; }
};

// Passes what it sees on to another tap until it is closed. Close lets no new file in and waits
// for the files open through it, so that the other tap can end while a writer on another thread
// (a download that was not told to stop yet) goes on; what that writer writes later is not seen.
class GatedWriteTap : public WriteTap {
  public:
    explicit GatedWriteTap(WriteTap& inner) : inner_(inner) {}
    int Opened(const std::string& finalHostPath) override;
    char* TakeBuffer() override { return inner_.TakeBuffer(); }
    void Hand(int handle, char* buffer, std::size_t count) override {
        inner_.Hand(handle, buffer, count);
    }
    void Closed(int handle, bool committed, long long length, FileId id) override;
    void ClosedHashed(int handle, bool committed, long long length, FileId id, long long hashed,
                      const std::string& sha256Hex) override;
    void Withdrawn(const std::string& finalHostPath) override;
    // Returns once nothing goes on to the other tap any more.
    void Close();
    // Close was called (it may still wait for the files open through the gate): a writer may
    // end what it writes, which is no longer awaited.
    bool Closing();

  private:
    bool Enter();
    void Leave();

    WriteTap& inner_;
    std::mutex mutex_;
    std::condition_variable idle_;
    int inside_ = 0;  // files open through the gate, and calls on their way through it
    bool closed_ = false;
};

// The tap of this thread, or null.
WriteTap* CurrentWriteTap();

// Installs a tap on this thread for its lifetime (the previous one comes back after).
class ScopedWriteTap {
  public:
    explicit ScopedWriteTap(WriteTap* tap);
    ~ScopedWriteTap();
    ScopedWriteTap(const ScopedWriteTap&) = delete;
    ScopedWriteTap& operator=(const ScopedWriteTap&) = delete;

  private:
    WriteTap* previous_;
};

// Deletes a file this thread wrote and tells the thread's tap that it is withdrawn; false when
// the file could not be deleted (the tap then still counts it).
bool WithdrawWrittenFile(const std::string& path);

// Hands bytes that live elsewhere to the tap, in buffers of its own.
void HandCopy(WriteTap& tap, int handle, const void* bytes, std::size_t count);

}  // namespace platform
