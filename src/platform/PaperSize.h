#pragma once
// The paper this machine prints on, as its users set it: $PAPERSIZE, else /etc/papersize.
#include <string>

namespace platform {

// "a4", "letter" or another name in lower case; "a4" when nothing says.
std::string PreferredPaper();

}  // namespace platform
