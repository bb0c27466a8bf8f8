// decrypt --disc: the encrypted image on a disc, taken off it into a folder of the command's own
// so that it is read as a file; a disc of several names the one to take.
#include <algorithm>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "integrity/ImageCopyOut.h"

namespace {

constexpr const char* kDiscArchiveSuffix = ".tar.age";

bool IsArchiveAtRoot(const integrity::ImageFiles::Entry& e) {
    const std::string suffix = kDiscArchiveSuffix;
    return e.regular && e.path.find('/') == std::string::npos && e.path.size() > suffix.size() &&
           e.path.compare(e.path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

platform::Expected<std::string> CopyDiscArchive(const std::string& disc, const std::string& name,
                                                const std::string& scratchFolder) {
    using platform::Error;
    const std::string where = "the disc in " + disc;
    platform::Expected<std::unique_ptr<integrity::ImageFiles>> opened =
        OpenCommandImage(disc, std::string());
    if (!opened)
        return opened.error();
    const auto listing = (*opened)->List();
    if (!listing)
        return Error{listing.error().kind, "cannot be listed: " + listing.error().Said(), where};
    std::vector<integrity::ImageFiles::Entry> archives;
    for (const integrity::ImageFiles::Entry& e : *listing)
        if (IsArchiveAtRoot(e) && (name.empty() || e.path == name))
            archives.push_back(e);
    if (archives.empty())
        return Error{Error::Kind::kNotFound,
                     name.empty() ? std::string("holds no encrypted image (") + kDiscArchiveSuffix +
                                        " file at its root)"
                                  : "holds no " + name + " at its root",
                     where};
    if (archives.size() > 1) {
        std::sort(archives.begin(), archives.end(),
                  [](const auto& x, const auto& y) { return x.path < y.path; });
        std::string names;
        for (const auto& e : archives)
            names += (names.empty() ? "" : ", ") + Printable(e.path);
        return Error{Error::Kind::kRefused,
                     "holds " + std::to_string(archives.size()) + " encrypted images (" + names +
                         "): name the one to decrypt after --disc " + disc,
                     where};
    }
    if (const platform::Outcome copied =
            integrity::CopyImageFilesOut(**opened, archives, "", scratchFolder);
        !copied)
        return Error{copied.error().kind, "cannot be read: " + copied.error().Said(), where};
    return scratchFolder + "/" + archives.front().path;
}
