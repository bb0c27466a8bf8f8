#pragma once
// The hashing of a server-side image while it is built, in batches of one recording minute:
// the extraction writes (and may withdraw and write again) the files of a minute before it
// turns to the next one, so when a file of another minute is opened, the files of the minutes
// before are final and are handed to `publish` with their digests. A client can fetch them
// while the build goes on. A file without a minute in its name goes with the minute it was
// written in (the entry's own files come last: at Finish). For the one thread that builds the
// image.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "integrity/ImageHasher.h"

class ShareServiceHasher : public platform::WriteTap {
  public:
    // name: below rootHost, '/' between folders.
    using Publish = std::function<void(const std::string& name, const integrity::FileDigest&)>;
    // A file given to publish that was withdrawn since.
    using Unpublish = std::function<void(const std::string& name)>;

    ShareServiceHasher(std::string rootHost, Publish publish, Unpublish unpublish = nullptr);
    ~ShareServiceHasher() override;

    int Opened(const std::string& finalHostPath) override;
    char* TakeBuffer() override;
    void Hand(int handle, char* buffer, std::size_t count) override;
    void Closed(int handle, bool committed, long long length, platform::FileId id) override;
    void ClosedHashed(int handle, bool committed, long long length, platform::FileId id,
                      long long hashed, const std::string& sha256Hex) override;
    void Withdrawn(const std::string& finalHostPath) override;

    struct Result {
        std::map<std::string, integrity::FileDigest> files;  // every file as it stands last
        std::set<std::string> republished;  // given to publish, then changed or withdrawn
    };
    // Hashes what is left, publishes it and returns every digest.
    Result Finish();

  private:
    void Rotate();  // the batch so far is final
    void Give(const std::map<std::string, integrity::FileDigest>& files);

    std::string root_;
    Publish publish_;
    Unpublish unpublish_;
    std::unique_ptr<integrity::ImageHasher> batch_;
    std::string minute_;  // of the batch's files
    Result result_;
};

// The minute a file of an image belongs to: the first 12 digits of its base name
// (YYYYMMDDHHMM), "" for a file of no minute.
std::string ImageFileMinute(const std::string& name);
