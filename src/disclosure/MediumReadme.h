#pragma once
// The README.txt of a medium that carries encrypted images: what a finder reads. It says what
// the medium holds and how to open it, with the age tool and tar or with the browser viewer on
// the medium, and for each image one section: its file, its size and who can open it. Nothing
// of the case.
#include <string>

#include "disclosure/age/AgeFile.h"
#include "platform/Error.h"

namespace disclosure {

// The file names of the images a README describes, in its order.
std::vector<std::string> ReadmeImages(const std::string& readme);

// The README with the section of fileName (NAME.tar.age, bytes long, for to) in place of the
// one it had, or added after the others; the others are kept as they were. existing: the README
// the medium has ("" for none). Refused, to be left as it is, when existing is no README of
// these, or when fileName cannot stand in one (a line end or another control character).
platform::Expected<std::string> ReadmeWithImage(const std::string& existing,
                                                const std::string& fileName, long long bytes,
                                                const age::Recipients& to);

}  // namespace disclosure
