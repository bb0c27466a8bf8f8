#pragma once
// A file as a byte source, and a file written under a temporary name as a byte sink, for the
// encrypted copy's ends.
#include <string>

#include "disclosure/ByteStream.h"
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
// without Commit, nothing is left.
class AtomicFileSink : public ByteSink {
  public:
    platform::Outcome Create(const std::string& finalPath);
    platform::Outcome Write(const void* bytes, std::size_t count) override;
    platform::Outcome Commit();
    long long written() const { return written_; }

  private:
    platform::AtomicFile file_;
    std::string path_;
    long long written_ = 0;
};

}  // namespace disclosure
