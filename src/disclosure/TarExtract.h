#pragma once
// Takes a tar archive of one top folder apart into a folder, refusing whatever could reach
// outside it or replace something: absolute names, "..", links and other special entries, a
// name given twice, names under more than one top folder. Files and folders only are made.
#include <functional>
#include <string>

#include "disclosure/ByteStream.h"

namespace disclosure {

struct ExtractOptions {
    // Called with the top folder's name at the first entry: an error stops the extraction (its
    // target exists, say) before anything is written.
    std::function<platform::Outcome(const std::string& top)> topFound;
};

// Extracts into the existing folder hostInto, which should be empty and the caller's own; the
// top folder's name. An archive whose end marker is followed by anything but zeros is refused.
platform::Expected<std::string> ExtractTar(ByteSource& in, const std::string& hostInto,
                                           const ExtractOptions& options = {});

// Whether an archive's entry name is one ExtractTar takes: relative, of plain components
// (no "", "." or "..", no backslash, no control character). Components into parts.
bool SafeEntryName(const std::string& name, std::vector<std::string>& parts);

}  // namespace disclosure
