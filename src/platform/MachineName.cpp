#include "platform/MachineName.h"

#include <unistd.h>

#include <fstream>

namespace platform {

std::string MachineName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

std::string MachineId() {
    std::string id;
    std::ifstream("/etc/machine-id") >> id;
    return id.empty() ? MachineName() : id;
}

}  // namespace platform
