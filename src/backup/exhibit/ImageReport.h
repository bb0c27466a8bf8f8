#pragma once
// The facts of an image made earlier, for its report written again elsewhere (a disc cannot
// take it, an image made without the PDF lacks REPORT.pdf): what its own report.json recorded at
// the backup (the case, the recorder and its clock, when it was made), and what its files are
// now (its entries, the digests its SHA256SUMS lists, the key beside it).
#include <string>

#include "backup/exhibit/ExhibitFacts.h"

namespace exhibit {

// "" and out, or why the image has no facts to report (no readable manifest).
std::string FactsOfImage(const std::string& rootHost, Facts& out);

}  // namespace exhibit
