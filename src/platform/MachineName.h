#pragma once
// The name this machine goes by on its network, for what names the unit to others (the
// certificate of its export signing key).
#include <string>

namespace platform {

// The host name; "" when the system gives none.
std::string MachineName();
// What tells this installation of the system from every other (its machine ID), else the host
// name; "" when there is neither.
std::string MachineId();

}  // namespace platform
