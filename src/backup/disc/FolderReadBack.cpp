#include "backup/disc/FolderReadBack.h"

#include <map>

#include "integrity/ImageFiles.h"
#include "integrity/Sha256.h"

namespace backup {

namespace {

// Each regular file's SHA-256 by its path; what could not be read is said in why.
std::map<std::string, std::string> Digests(integrity::ImageFiles& files, std::string& why,
                                           const std::function<void(long long)>& read) {
    std::map<std::string, std::string> out;
    const auto listing = files.List();
    if (!listing) {
        why = files.Where() + " cannot be listed: " + listing.error().Said();
        return out;
    }
    for (const integrity::ImageFiles::Entry& e : *listing) {
        if (!e.regular)
            continue;
        integrity::Sha256 hash;
        const platform::Outcome done = files.Read(e.path, [&](const char* bytes, std::size_t n) {
            hash.Update(bytes, n);
            read(static_cast<long long>(n));
        });
        if (!done) {
            why = e.path + " cannot be read from " + files.Where() + ": " + done.error().Said();
            return out;
        }
        out[e.path] = hash.HexFinal();
    }
    return out;
}

}  // namespace

std::string FolderReadBack::Check(integrity::ImageFiles& disc,
                                  const std::function<void(long long, long long)>& progress) {
    std::string why;
    const std::unique_ptr<integrity::ImageFiles> folder = integrity::OpenFolderImage(folder_);
    const std::map<std::string, std::string> meant = Digests(*folder, why, [](long long) {});
    if (!why.empty())
        return why;
    long long total = 0, done = 0;
    if (const auto listing = folder->List())
        for (const auto& e : *listing)
            total += e.regular ? e.size : 0;
    const std::map<std::string, std::string> found = Digests(disc, why, [&](long long n) {
        done += n;
        if (progress)
            progress(done, total);
    });
    if (!why.empty())
        return why;
    for (const auto& [path, digest] : meant) {
        const auto there = found.find(path);
        if (there == found.end())
            return path + " is missing on the disc";
        if (there->second != digest)
            return path + " differs on the disc from the file written";
    }
    for (const auto& [path, digest] : found)
        if (!meant.count(path))
            return path + " is on the disc but was not written";
    return std::string();
}

}  // namespace backup
