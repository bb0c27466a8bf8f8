#pragma once
// A file as a byte source, and a file written under a temporary name as a byte sink, for the
// encrypted copy's ends.
#include <string>

#include "disclosure/ByteStream.h"
#include "integrity/Sha256.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"

namespace disclosure {

class FileSource : public ByteSource {
  public:
    // Opens a host path for reading; a link in its place is refused.
    platform::Outcome Open(const std::string& hostPath);
    platform::Expected<std::size_t> Read(void* buffer, std::size_t count) override;
    long long Length() const { return file_.Length(); }

  private:
    platform::File file_;
    std::string path_;
};

// Into a temporary file beside finalPath, which Commit renames into place once whole; dropped
// without Commit, nothing is left. The file's SHA-256 is taken as it is written, for the custody
// line that names it.
class AtomicFileSink : public ByteSink {
  public:
    platform::Outcome Create(const std::string& finalPath);
    platform::Outcome Write(const void* bytes, std::size_t count) override;
    platform::Outcome Commit();
    long long written() const { return written_; }
    // The SHA-256 (hex) of the bytes written, once committed; "" before.
    const std::string& digest() const { return digest_; }

  private:
    platform::AtomicFile file_;
    std::string path_;
    long long written_ = 0;
    integrity::Sha256 hash_;
    std::string digest_;
};

}  // namespace disclosure
