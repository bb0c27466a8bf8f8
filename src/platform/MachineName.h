#pragma once
// The name this machine goes by on its network, for what names the unit to others (the
// certificate of its export signing key).
#include <string>

namespace platform {

// The host name; "" when the system gives none.
std::string MachineName();

}  // namespace platform
