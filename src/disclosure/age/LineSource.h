#pragma once
// A byte source read line by line (the header) and then as bytes (the payload), with the count
// of bytes taken so far, so that a failure can say where in the file it is.
#include <string>

#include "disclosure/ByteStream.h"

namespace disclosure::age {

class LineSource : public ByteSource {
  public:
    explicit LineSource(ByteSource& in) : in_(in) {}
    // The next line without its '\n'; refused (kDamaged) when none ends within limit bytes or
    // the source ends first.
    platform::Expected<std::string> ReadLine(std::size_t limit);
    platform::Expected<std::size_t> Read(void* buffer, std::size_t count) override;
    // Bytes handed out so far.
    long long offset() const { return offset_; }

  private:
    platform::Outcome Fill();
    ByteSource& in_;
    std::string held_;
    std::size_t at_ = 0;
    long long offset_ = 0;
};

}  // namespace disclosure::age
