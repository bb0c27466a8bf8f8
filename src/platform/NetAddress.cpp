#include "platform/NetAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace platform {

bool IsLoopbackAddress(const std::string& text) {
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.c_str(), &v6) == 1)
        return std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
    return false;
}

}  // namespace platform
