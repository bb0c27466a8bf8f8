#pragma once
// Hashes the files a backup pass writes below its image root from the bytes as they are
// written, on threads of its own: the writer hands over full buffers and goes on with the next
// while these threads hash, and waits only when every buffer is taken. Nothing is read back from
// the target, where the bytes could have been changed since they were written. Each file is hashed
// on one thread, in the order its bytes were handed; different files on different threads.
#include <condition_variable>
#include <cstdint>
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
    void ClosedHashed(int handle, bool committed, long long length, platform::FileId id,
                      long long hashed, const std::string& sha256Hex) override;
    void Withdrawn(const std::string& finalHostPath) override;

    struct Result {
        // By path relative to the root, with '/'; the last commit of a name counts.
        std::map<std::string, FileDigest> files;
        // Files committed with other bytes than were handed over (written around the tap).
        std::vector<std::string> problems;
        // By path: the names whose last commit is left out of files for such a problem (and
        // not withdrawn since), with the problem. The pass wrote them: their entries lack them.
        std::map<std::string, std::string> leftOut;
    };
    // Waits until everything handed over is hashed and stops the threads.
    Result Finish();
    const std::string& rootHost() const { return root_; }

  private:
    struct Open {
        std::string path;
        std::size_t lane = 0;
        Sha256 hash;
        long long bytes = 0;
    };
    struct Job {
        int handle = -1;
        char* buffer = nullptr;  // bytes to hash; without: the file was closed
        std::size_t count = 0;
        bool committed = false;
        long long length = 0;
        platform::FileId id;
        std::uint64_t turn = 0;  // of the commit among commits and withdrawals
        // Of a file its writer hashed: how many bytes, with what digest (hashed < 0: none).
        long long hashed = -1;
        std::string writerHex;
    };
    struct Lane {
        std::deque<Job> jobs;
        long long queued = 0;  // bytes in its jobs
        std::thread thread;
    };
    void Run(std::size_t lane);
    void Queue(Job job, long long bytes);
    void Take(const Job& job);

    std::string root_;
    // A minute's data file (some 12 MB at 8 cameras) fits, so that the writer goes on with the
    // minute's small files while its data is hashed instead of waiting in the middle of it;
    // the buffers are made only as the hashing falls behind.
    static constexpr int kBuffers = 16;
    std::vector<std::unique_ptr<char[]>> owned_;
    std::vector<char*> free_;
    std::vector<Lane> lanes_;
    std::vector<std::unique_ptr<Open>> open_;  // by handle; null once closed
    std::vector<int> reusable_;
    // Commits and withdrawals are numbered as they happen, since the lanes take them in on
    // their own time: a name's entry is its latest commit unless withdrawn after it.
    std::uint64_t turns_ = 0;
    std::map<std::string, std::uint64_t> committedAt_, withdrawnAt_;
    Result result_;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace integrity
