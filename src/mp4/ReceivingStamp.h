#pragma once
// A receiving stamp: whoever receives an export file signs it too, with a key of their own, and
// the exporter's signature stays valid. The file's second signature, its exporter's own until
// then, becomes the receiver's over the whole file, with the receiver's certificate beside it.
#include <string>

#include "integrity/ExportSigning.h"
#include "platform/Error.h"

namespace mp4 {

// Stamps the file at path with receiver's key, replacing it (through a temporary file beside it,
// which is checked before it takes the name): true, or false when the file carries this
// receiver's stamp already. Refused when the file has no place for a stamp (unsigned, or made
// with one signature) or carries another receiver's, or receiver's certificate is the
// exporter's; damaged when the file fails its check; not found when it cannot be opened;
// failed when the key cannot sign or the file cannot be written (nothing is changed then).
platform::Expected<bool> StampExportFile(const std::string& path,
                                         const integrity::ExportKey& receiver);

}  // namespace mp4
