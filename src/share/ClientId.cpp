#include "share/ClientId.h"

#include "integrity/Sha256.h"
#include "platform/MachineName.h"

namespace share {

std::string ClientIdOf(const std::string& baseFolder) {
    const std::string who = platform::MachineId() + "\n" + baseFolder;
    return integrity::Sha256Hex(who.data(), who.size()).substr(0, 32);
}

std::string ClientIdProblem(const std::string& id) {
    if (id.size() < 16 || id.size() > 64 ||
        id.find_first_not_of("0123456789abcdef") != std::string::npos)
        return "the client id must be 16 to 64 lower-case hex digits";
    return std::string();
}

}  // namespace share
