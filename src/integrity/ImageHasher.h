#pragma once
// Hashes the files a backup pass writes below its image root from the bytes as they are
// written, on a thread of its own: the writer hands over full buffers and goes on with the
// next while this thread hashes, and waits only when every buffer is still to be hashed.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integrity/Sha256.h"
#include "platform/WriteTap.h"

namespace integrity {

struct FileDigest {
    std::string hex;
    long long length = 0;
    platform::FileId id;  // the file it was committed as
};

class ImageHasher : public platform::WriteTap {
  public:
    // rootHost: the host path of the image root. Files below it are hashed, except the
    // manifest's own files at the root.
    explicit ImageHasher(std::string rootHost);
    ~ImageHasher() override;
    ImageHasher(const ImageHasher&) = delete;
    ImageHasher& operator=(const ImageHasher&) = delete;

    int Opened(const std::string& finalHostPath) override;
    char* TakeBuffer() override;
    void Hand(int handle, char* buffer, std::size_t count) override;
    void Closed(int handle, bool committed, long long length, platform::FileId id) override;
    void Withdrawn(const std::string& finalHostPath) override;

    struct Result {
        // By path relative to the root, with '/'; the last commit of a name counts.
        std::map<std::string, FileDigest> files;
        // Files committed with other bytes than were handed over (written around the tap).
        std::vector<std::string> problems;
    };
    // Waits until everything handed over is hashed and stops the thread.
    Result Finish();
    const std::string& rootHost() const { return root_; }

  private:
    struct Open {
        std::string path;
        Sha256 hash;
        long long bytes = 0;
    };
    struct Job {
        int handle;    // -1: withdrawn names the file deleted again
        char* buffer;  // null: the file was closed
        std::size_t count;
        bool committed;
        long long length;
        platform::FileId id;
        std::string withdrawn;
    };
    void Run();
    void Take(const Job& job);

    std::string root_;
    // A minute's data file (some 12 MB at 8 cameras) fits, so that the writer goes on with the
    // minute's small files while its data is hashed instead of waiting in the middle of it;
    // the buffers are made only as the hashing falls behind.
    static constexpr int kBuffers = 16;
    std::vector<std::unique_ptr<char[]>> owned_;
    std::vector<char*> free_;
    std::deque<Job> jobs_;
    std::vector<std::unique_ptr<Open>> open_;  // by handle; null once closed
    std::vector<int> reusable_;
    Result result_;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

}  // namespace integrity
