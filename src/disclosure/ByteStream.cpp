#include "disclosure/ByteStream.h"

namespace disclosure {

platform::Expected<std::size_t> ReadFull(ByteSource& source, void* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        platform::Expected<std::size_t> n =
            source.Read(static_cast<unsigned char*>(buffer) + got, count - got);
        if (!n)
            return n.error();
        if (*n == 0)
            break;
        got += *n;
    }
    return got;
}

}  // namespace disclosure
