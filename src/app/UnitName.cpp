#include "app/UnitName.h"

#include "platform/MachineName.h"

namespace app {

std::string UnitName() {
    const std::string host = platform::MachineName();
    return (host.empty() ? "Quillon Backup" : "Quillon Backup " + host).substr(0, 64);
}

}  // namespace app
