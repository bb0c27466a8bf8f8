#pragma once
// The name this unit goes by in what it signs and exports: "Quillon Backup" and the machine's
// name, at most 64 characters (a certificate's common name holds no more), so that a video's
// unit and the certificate that signs it name the same unit.
#include <string>

namespace app {

std::string UnitName();

}  // namespace app
