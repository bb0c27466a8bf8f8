#pragma once
// Where bytes go and where they come from, for the layers of an encrypted copy (a folder as a
// tar archive, sealed chunk by chunk into a file) that each see only the next one: nothing holds
// more than a chunk.
#include <cstddef>

#include "platform/Error.h"

namespace disclosure {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Takes all count bytes, or says why not.
    virtual platform::Outcome Write(const void* bytes, std::size_t count) = 0;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to count bytes into buffer: how many (0 only at the end), or why none can be read.
    virtual platform::Expected<std::size_t> Read(void* buffer, std::size_t count) = 0;
};

// Reads until count bytes or the end: how many came.
platform::Expected<std::size_t> ReadFull(ByteSource& source, void* buffer, std::size_t count);

}  // namespace disclosure
